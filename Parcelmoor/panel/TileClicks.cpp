#include "TileClicks.h"

#include <QMouseEvent>

namespace pm {

TileClicks::TileClicks(OnClick onClick, QWidget* parent) : QWidget(parent), onClick_(std::move(onClick)) {
  setAttribute(Qt::WA_NoSystemBackground);
}

void TileClicks::mousePressEvent(QMouseEvent* event) {
  report(event, 1);
}

void TileClicks::mouseDoubleClickEvent(QMouseEvent* event) {
  report(event, 2);
}

void TileClicks::report(QMouseEvent* event, int clickCount) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  event->accept();
  if (onClick_) onClick_(clickCount, event->modifiers());
}

}  // namespace pm
