#include "StripFadeEffect.h"

#include <QPainter>

#include "panel/BandedImageDraw.h"
#include "panel/BarEdgeFade.h"

namespace pm {

StripFadeEffect::StripFadeEffect(QObject* parent) : QGraphicsEffect(parent) {
  // Nothing to fade yet.
  setEnabled(false);
}

void StripFadeEffect::setFade(ScrollEdges edges, PanelEdge edge) {
  if (edges == edges_ && edge == edge_) return;
  edges_ = edges;
  edge_ = edge;
  // With nothing to fade the strip draws itself, without the effect: Qt draws an effect's untouched source
  // inside another effect (the panel's fade while it slides) at twice the strip's offset, beside the bar.
  setEnabled(edges_.start || edges_.end);
  update();
}

const QImage& StripFadeEffect::maskPicture(const QSize& pixels, qreal pixelRatio) {
  if (mask_.size() != pixels || mask_.devicePixelRatio() != pixelRatio || maskEdges_ != edges_ || maskEdge_ != edge_) {
    mask_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    mask_.setDevicePixelRatio(pixelRatio);
    mask_.fill(Qt::black);
    QPainter painter(&mask_);
    BarEdgeFade(edges_, edge_).mask(painter, QRectF(QPointF(0, 0), QSizeF(pixels) / pixelRatio));
    painter.end();
    maskEdges_ = edges_;
    maskEdge_ = edge_;
    maskFading_ = fadingParts();
  }
  return mask_;
}

QList<QRect> StripFadeEffect::fadingParts() const {
  // The fade runs along the strip, so one line across it tells for the whole line.
  const bool alongX = edge_ == PanelEdge::top;
  const int length = alongX ? mask_.width() : mask_.height();
  QList<QRect> parts;
  int start = -1;
  for (int at = 0; at <= length; ++at) {
    const bool fading = at < length && qAlpha(alongX ? mask_.pixel(at, 0) : mask_.pixel(0, at)) < 255;
    if (fading && start < 0) start = at;
    if (!fading && start >= 0) {
      parts << (alongX ? QRect(start, 0, at - start, mask_.height()) : QRect(0, start, mask_.width(), at - start));
      start = -1;
    }
  }
  return parts;
}

void StripFadeEffect::draw(QPainter* painter) {
  QPoint offset;
  const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::NoPad);
  if (source.isNull()) return;
  QImage picture = source.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  {
    // A gradient filled over the whole strip on every frame is the costly part of the fade; the fade
    // changes only with the strip's size and ends, so it is kept as a picture and copied.
    QPainter mask(&picture);
    mask.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    const QImage& fade = maskPicture(picture.size(), picture.devicePixelRatio());
    // Only the faded ends change anything; the strip between them stays as drawn.
    for (const QRect& part : std::as_const(maskFading_))
      drawImageInBands(mask, QPointF(part.topLeft()) / fade.devicePixelRatio(), fade, part);
  }
  painter->save();
  painter->setWorldTransform(QTransform());
  drawImageInBands(*painter, offset, picture);
  painter->restore();
}

}  // namespace pm
