#include "BarBackdrop.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "panel/BandedImageDraw.h"

namespace pm {

void BarBackdrop::drawBody(QPainter& painter, const QRectF& bar) const {
  QPainterPath shape;
  shape.addRoundedRect(bar, cornerRadius_, cornerRadius_);
  // A dark translucent bar with a faint light rim, drawn just inside the border.
  painter.fillPath(shape, QColor(28, 28, 30, 170));
  QPainterPath rim;
  rim.addRoundedRect(bar.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius_ - 0.5, cornerRadius_ - 0.5);
  painter.setPen(QPen(QColor(255, 255, 255, int(0.18 * 255)), 1.0));
  painter.drawPath(rim);
}

void BarBackdrop::paint(QPainter& painter, const QRect& bar) {
  const QTransform& device = painter.deviceTransform();
  const qreal pixelRatio = device.m11();
  const QPointF corner = device.map(QPointF(bar.topLeft()));
  const QSizeF size = QSizeF(bar.size()) * pixelRatio;
  // A copy is the same picture only where it lands on whole device pixels; anywhere else (a fractional
  // scale, a turn) the body is drawn as it is.
  const bool whole = device.type() <= QTransform::TxScale && device.m22() == pixelRatio && pixelRatio > 0 &&
                     corner == QPointF(std::round(corner.x()), std::round(corner.y())) &&
                     size == QSizeF(std::round(size.width()), std::round(size.height()));
  if (!whole || bar.isEmpty()) {
    painter.save();
    drawBody(painter, QRectF(bar));
    painter.restore();
    return;
  }
  const QSize pixels = size.toSize();
  if (picture_.size() != pixels || picture_.devicePixelRatio() != pixelRatio) {
    picture_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    picture_.setDevicePixelRatio(pixelRatio);
    picture_.fill(Qt::transparent);
    QPainter body(&picture_);
    body.setRenderHint(QPainter::Antialiasing);
    drawBody(body, QRectF(QPointF(0, 0), QSizeF(bar.size())));
  }
  drawImageInBands(painter, bar.topLeft(), picture_);
}

}  // namespace pm
