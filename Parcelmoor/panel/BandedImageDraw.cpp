#include "BandedImageDraw.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace pm {

namespace {

// Under the height at which the raster engine splits a blend between threads.
constexpr int kBandRows = 64;

}  // namespace

void drawImageInBands(QPainter& painter, const QPointF& at, const QImage& image, QRect source) {
  if (source.isNull()) source = image.rect();
  const qreal ratio = image.devicePixelRatio();
  for (int row = 0; row < source.height(); row += kBandRows) {
    const int rows = std::min(kBandRows, source.height() - row);
    painter.drawImage(QPointF(at.x(), at.y() + row / ratio), image,
                      QRectF(source.left(), source.top() + row, source.width(), rows));
  }
}

}  // namespace pm
