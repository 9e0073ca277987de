#include "panel/BarFrame.h"

#include <QPainter>
#include <QWidget>

#include <cmath>

#include "panel/PanelPresentation.h"

namespace pm {

namespace {

constexpr int kStripSpringMs = 350;

}  // namespace

BarFrame::BarFrame(QWidget& view, const PanelPresentation& presentation)
    : view_(view), presentation_(presentation) {
  lengthAnimation_.setEasingCurve(QEasingCurve::OutBack);
  connect(&lengthAnimation_, &QVariantAnimation::valueChanged, this,
          [this](const QVariant& value) { setLength(value.toDouble()); });
  connect(&lengthAnimation_, &QVariantAnimation::finished, this, &BarFrame::settled);
}

void BarFrame::fit(qsizetype itemCount, bool animated) {
  const double room = presentation_.edge() == PanelEdge::top ? view_.width() : view_.height();
  const double target = BarMetrics::stripLength(BarMetrics::tileCapacity(room), itemCount);
  lengthAnimation_.stop();
  const int duration = int(kStripSpringMs * animationScale_);
  if (!animated || duration <= 0 || !view_.isVisible() || qFuzzyCompare(target, length_)) {
    setLength(target);
    return;
  }
  lengthAnimation_.setDuration(duration);
  lengthAnimation_.setStartValue(length_);
  lengthAnimation_.setEndValue(target);
  lengthAnimation_.start();
}

void BarFrame::setLength(double length) {
  length_ = length;
  Q_EMIT moved();
}

QRect BarFrame::rect() const {
  constexpr int padding = BarMetrics::kOuterPadding;
  const QRect room = view_.rect().marginsRemoved(QMargins(padding, padding, padding, padding));
  const int length = int(std::lround(length_));
  const bool horizontal = presentation_.edge() == PanelEdge::top;
  QRect bar(QPoint(0, 0), horizontal ? QSize(length, BarMetrics::kBarThickness)
                                     : QSize(BarMetrics::kBarThickness, length));
  bar.moveCenter(room.center());
  switch (presentation_.edge()) {
    case PanelEdge::left:
      bar.moveLeft(room.left());
      break;
    case PanelEdge::top:
      bar.moveTop(room.top());
      break;
    case PanelEdge::right:
      bar.moveRight(room.right());
      break;
  }
  return bar;
}

void BarFrame::paint(QPainter& painter) {
  backdrop_.paint(painter, rect());
}

}  // namespace pm
