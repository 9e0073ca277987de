#include "panel/ItemThumbnail.h"

#include <QPainter>

namespace pm {

void drawItemThumbnail(QPainter& painter, const QRectF& square, const LoadedThumbnail& thumbnail,
                       const QPalette& palette) {
  painter.save();
  painter.setClipRect(square, Qt::IntersectClip);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.fillRect(square, thumbnail.isIcon ? palette.color(QPalette::Base) : QColor(Qt::white));

  const QImage& image = thumbnail.image;
  if (!image.isNull()) {
    const QSizeF source = image.size();
    QRectF target;
    if (thumbnail.isIcon) {
      const QRectF box = square.adjusted(square.width() * 0.18, square.height() * 0.18, -square.width() * 0.18,
                                         -square.height() * 0.18);
      const QSizeF fitted = source.scaled(box.size(), Qt::KeepAspectRatio);
      target = QRectF(QPointF(), fitted);
      target.moveCenter(box.center());
    } else {
      const QSizeF filled = source.scaled(square.size(), Qt::KeepAspectRatioByExpanding);
      target = QRectF(QPointF(), filled);
      target.moveCenter(square.center());
    }
    painter.drawImage(target, image, QRectF(QPointF(), source));
  }
  painter.restore();
}

}  // namespace pm
