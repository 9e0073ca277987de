#pragma once

#include <QWidget>

#include "views/SymbolIconEngine.h"

namespace pm::settings {

// A symbol on its own (beside a title, before a warning), painted from the palette each time, so it
// follows a change of theme as the texts beside it do.
class SymbolView final : public QWidget {
  Q_OBJECT

 public:
  SymbolView(const QString& name, int side, SymbolTone tone = SymbolTone::text, QWidget* parent = nullptr);

  void setSymbol(const QString& name, SymbolTone tone);
  const QString& symbol() const { return name_; }
  // Drawn fainter, for a row that lacks what it needs.
  void setFaded(bool faded);

  QSize sizeHint() const override { return {side_, side_}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString name_;
  int side_;
  SymbolTone tone_;
  bool faded_ = false;
};

}  // namespace pm::settings
