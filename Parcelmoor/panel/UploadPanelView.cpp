#include "UploadPanelView.h"

#include <QPainter>
#include <QPainterPath>

#include "PanelPresentation.h"

namespace pm {

UploadPanelView::UploadPanelView(BucketStore& store, PanelPresentation& presentation, QWidget* parent)
    : QWidget(parent), store_(store), presentation_(presentation) {
  connect(&presentation_, &PanelPresentation::edgeChanged, this, [this] {
    update();
    Q_EMIT interactiveRegionChanged();
  });
}

QRect UploadPanelView::barRect() const {
  const QRect room =
      rect().marginsRemoved(QMargins(kOuterPadding, kOuterPadding, kOuterPadding, kOuterPadding));
  const QSize size(presentation_.edge() == PanelEdge::top ? kShortestBar : kBarThickness,
                   presentation_.edge() == PanelEdge::top ? kBarThickness : kShortestBar);
  QRect bar(QPoint(0, 0), size);
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

QRegion UploadPanelView::interactiveRegion() const {
  return QRegion(barRect());
}

void UploadPanelView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bar = QRectF(barRect());
  QPainterPath shape;
  shape.addRoundedRect(bar, kCornerRadius, kCornerRadius);
  // A dark translucent bar with a faint light rim, drawn just inside the border.
  painter.fillPath(shape, QColor(28, 28, 30, 170));
  QPainterPath rim;
  rim.addRoundedRect(bar.adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius - 0.5, kCornerRadius - 0.5);
  painter.setPen(QPen(QColor(255, 255, 255, int(0.18 * 255)), 1.0));
  painter.drawPath(rim);
}

void UploadPanelView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Q_EMIT interactiveRegionChanged();
}

}  // namespace pm
