#include "SyncTile.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include "views/ReadableColour.h"
#include "views/TextTone.h"

#include <cmath>

namespace pm::settings {

namespace {

const QColor kGreen(52, 199, 89);

// One arrow of the pair: a half circle ending in a head, turned by `rotation` degrees around the centre.
void drawArrow(QPainter& painter, const QRectF& ring, qreal rotation) {
  painter.save();
  painter.translate(ring.center());
  painter.rotate(rotation);
  painter.translate(-ring.center());
  // From 10 o'clock clockwise over the top to 4 o'clock, leaving a gap for the other arrow.
  painter.drawArc(ring, 150 * 16, -130 * 16);
  const qreal radius = ring.width() / 2;
  const QPointF tip = ring.center() + QPointF(radius * std::cos(qDegreesToRadians(20.0)),
                                              -radius * std::sin(qDegreesToRadians(20.0)));
  QPainterPath head;
  head.moveTo(tip + QPointF(-3.5, -1.5));
  head.lineTo(tip + QPointF(0.5, 3.5));
  head.lineTo(tip + QPointF(3.5, -2.0));
  painter.drawPath(head);
  painter.restore();
}

}  // namespace

SyncTile::SyncTile(QWidget* parent) : QWidget(parent) {
  setFixedSize(kSide, kSide);
}

void SyncTile::setActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  update();
}

void SyncTile::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  // Dark enough in either palette for the white arrows to show on it.
  painter.setBrush(active_ ? kGreen
                           : readableOn(toneColour(TextTone::secondary, palette()), Qt::white, kGraphicContrast));
  painter.drawRoundedRect(QRectF(rect()), kRadius, kRadius);

  painter.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  const QRectF ring = QRectF(rect()).adjusted(7.5, 7.5, -7.5, -7.5);
  drawArrow(painter, ring, 0);
  drawArrow(painter, ring, 180);
}

}  // namespace pm::settings
