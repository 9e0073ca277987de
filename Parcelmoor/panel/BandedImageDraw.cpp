#include "BandedImageDraw.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace pm {

namespace {

// Under the height at which the raster engine splits a blend between threads.
constexpr int kBandRows = 64;

}  // namespace

void drawImageInBands(QPainter& painter, const QPointF& at, const QImage& image) {
  const qreal ratio = image.devicePixelRatio();
  for (int row = 0; row < image.height(); row += kBandRows) {
    const int rows = std::min(kBandRows, image.height() - row);
    painter.drawImage(QPointF(at.x(), at.y() + row / ratio), image, QRectF(0, row, image.width(), rows));
  }
}

}  // namespace pm
