#pragma once

#include <QWidget>

#include <optional>

#include "core/UploaderConfig.h"
#include "views/ConnectionTest.h"

class QLabel;

namespace pm::settings {

// One connection on the Apps page: its symbol and title, the failure of its last test under the title,
// dimmed while it lacks what it needs to upload (`opacity` 0.5: a faded symbol and a secondary title).
class ConnectionRow final : public QWidget {
  Q_OBJECT

 public:
  ConnectionRow(const UploaderConfig& config, bool configured, QWidget* parent = nullptr);

  void showTest(const std::optional<ConnectionTest>& test);
  double opacity() const { return opacity_; }
  QString failureText() const;

 private:
  double opacity_;
  QWidget* failure_;
  QLabel* failureText_;
};

}  // namespace pm::settings
