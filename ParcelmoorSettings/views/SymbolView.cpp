#include "SymbolView.h"

#include <QPainter>

#include "views/SymbolIcon.h"

namespace pm::settings {

SymbolView::SymbolView(const QString& name, int side, SymbolTone tone, QWidget* parent)
    : QWidget(parent), name_(name), side_(side), tone_(tone) {
  setFixedSize(side, side);
}

void SymbolView::setSymbol(const QString& name, SymbolTone tone) {
  name_ = name;
  tone_ = tone;
  update();
}

void SymbolView::setFaded(bool faded) {
  faded_ = faded;
  update();
}

void SymbolView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (faded_) painter.setOpacity(0.5);
  if (SymbolIconEngine::hasDrawing(name_)) {
    const QPalette colours = palette();
    painter.drawPixmap(rect(), SymbolIconEngine::render(name_,
                                                        SymbolIconEngine::colour(tone_, colours, QIcon::Normal,
                                                                                 QIcon::Off),
                                                        colours.color(QPalette::Base), size(), painter.device()->devicePixelRatioF()));
    return;
  }
  symbolIcon(name_, tone_).paint(&painter, rect());
}

}  // namespace pm::settings
