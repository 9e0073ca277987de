#include "PanelContent.h"

#include <QGraphicsOpacityEffect>

#include "PanelPresentation.h"

namespace pm {

PanelContent::Placement PanelContent::placement(bool visible, bool sliding, PanelEdge edge) {
  if (visible) return {QPointF(0, 0), 1.0};
  if (!sliding) return {QPointF(0, 0), 0.0};
  // Towards the screen edge, where the content slides out of sight.
  switch (edge) {
    case PanelEdge::left:
      return {QPointF(-kSlideDistance, 0), 0.0};
    case PanelEdge::top:
      return {QPointF(0, -kSlideDistance), 0.0};
    case PanelEdge::right:
      return {QPointF(kSlideDistance, 0), 0.0};
  }
  return {QPointF(0, 0), 0.0};
}

QEasingCurve PanelContent::easeOut() {
  QEasingCurve curve(QEasingCurve::BezierSpline);
  curve.addCubicBezierSegment(QPointF(0.0, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
  return curve;
}

QMargins PanelContent::padding(PanelEdge edge) {
  switch (edge) {
    case PanelEdge::left:
      return {kEdgePadding, 0, 0, 0};
    case PanelEdge::top:
      return {0, kEdgePadding, 0, 0};
    case PanelEdge::right:
      return {0, 0, kEdgePadding, 0};
  }
  return {};
}

PanelContent::PanelContent(PanelPresentation& presentation, QWidget* content,
                           std::chrono::milliseconds duration, QWidget* parent)
    : QWidget(parent),
      presentation_(presentation),
      content_(content),
      opacity_(new QGraphicsOpacityEffect(this)) {
  content_->setParent(this);
  content_->setGraphicsEffect(opacity_);
  animation_.setDuration(int(duration.count()));
  animation_.setEasingCurve(easeOut());
  animation_.setStartValue(0.0);
  animation_.setEndValue(1.0);
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    const double t = value.toDouble();
    applyPlacement(
        {from_.offset + (to_.offset - from_.offset) * t, from_.opacity + (to_.opacity - from_.opacity) * t});
  });
  connect(&presentation_, &PanelPresentation::visibleChanged, this, &PanelContent::onVisibleChanged);
  connect(&presentation_, &PanelPresentation::slidingChanged, this, &PanelContent::onPlacementChanged);
  connect(&presentation_, &PanelPresentation::edgeChanged, this, &PanelContent::onPlacementChanged);
  to_ = target();
  from_ = to_;
  applyPlacement(to_);
}

PanelContent::Placement PanelContent::target() const {
  return placement(presentation_.visible(), presentation_.sliding(), presentation_.edge());
}

void PanelContent::onVisibleChanged() {
  animation_.stop();
  from_ = shown_;
  to_ = target();
  animation_.start();
}

void PanelContent::onPlacementChanged() {
  to_ = target();
  // A running animation heads for the new target; otherwise the content goes there at once.
  if (!isAnimating()) {
    from_ = to_;
    applyPlacement(to_);
  } else {
    applyPlacement(shown_);  // the padding may have changed with the edge
  }
}

void PanelContent::applyPlacement(const Placement& placement) {
  shown_ = placement;
  opacity_->setOpacity(placement.opacity);
  // Fully opaque content needs no off-screen pass.
  opacity_->setEnabled(placement.opacity < 1.0);
  const QRect padded = rect().marginsRemoved(padding(presentation_.edge()));
  const QPoint offset = placement.offset.toPoint();
  content_->setGeometry(padded.translated(offset));
  Q_EMIT contentMoved();
}

void PanelContent::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  applyPlacement(shown_);
}

}  // namespace pm
