#include "StripFadeEffect.h"

#include <QPainter>

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

void StripFadeEffect::draw(QPainter* painter) {
  QPoint offset;
  const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::NoPad);
  if (source.isNull()) return;
  QImage picture = source.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  {
    QPainter mask(&picture);
    const qreal ratio = picture.devicePixelRatio();
    BarEdgeFade(edges_, edge_).mask(mask, QRectF(QPointF(0, 0), QSizeF(picture.size()) / ratio));
  }
  painter->save();
  painter->setWorldTransform(QTransform());
  painter->drawImage(offset, picture);
  painter->restore();
}

}  // namespace pm
