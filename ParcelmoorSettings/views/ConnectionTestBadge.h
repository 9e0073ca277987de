#pragma once

#include <QWidget>

#include <optional>

#include "views/ConnectionTest.h"

class QLabel;

namespace pm::settings {

class Spinner;
class SymbolView;

// Beside a connection on the Apps page: nothing, a spinner while its test runs, "Connected" (what was
// reached as tooltip) or "Failed" in orange.
class ConnectionTestBadge final : public QWidget {
  Q_OBJECT

 public:
  explicit ConnectionTestBadge(QWidget* parent = nullptr);

  void show(const std::optional<ConnectionTest>& test);
  bool isSpinning() const;
  QString text() const;

 private:
  Spinner* spinner_;
  QLabel* text_;
  SymbolView* symbol_;
};

}  // namespace pm::settings
