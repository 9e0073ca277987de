#include "panel/SoftShadow.h"

#include <QPainter>

#include <cmath>
#include <vector>

namespace pm {

namespace {

// One box-blur pass over the alpha channel along one axis; three passes come close to a Gaussian.
void boxBlurAlpha(QImage& image, int radius, bool horizontal) {
  const int width = image.width();
  const int height = image.height();
  const int lines = horizontal ? height : width;
  const int length = horizontal ? width : height;
  std::vector<int> alpha(static_cast<size_t>(length));
  for (int line = 0; line < lines; ++line) {
    auto pixel = [&](int at) -> QRgb& {
      const int x = horizontal ? at : line;
      const int y = horizontal ? line : at;
      return reinterpret_cast<QRgb*>(image.scanLine(y))[x];
    };
    for (int at = 0; at < length; ++at) alpha[size_t(at)] = qAlpha(pixel(at));
    int sum = 0;
    for (int at = -radius; at <= radius; ++at) sum += (at >= 0 && at < length) ? alpha[size_t(at)] : 0;
    for (int at = 0; at < length; ++at) {
      const int value = sum / (2 * radius + 1);
      pixel(at) = qRgba(0, 0, 0, value);
      const int leaving = at - radius;
      const int entering = at + radius + 1;
      if (leaving >= 0) sum -= alpha[size_t(leaving)];
      if (entering < length) sum += alpha[size_t(entering)];
    }
  }
}

}  // namespace

QImage softShadow(const QPainterPath& shape, const QSize& canvas, qreal radius, const QColor& colour,
                  qreal strokeWidth, qreal devicePixelRatio) {
  QImage mask(canvas * devicePixelRatio, QImage::Format_ARGB32);
  mask.fill(Qt::transparent);
  {
    QPainter painter(&mask);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(devicePixelRatio, devicePixelRatio);
    if (strokeWidth > 0) {
      painter.setPen(QPen(Qt::black, strokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter.setBrush(Qt::NoBrush);
    } else {
      painter.setPen(Qt::NoPen);
      painter.setBrush(Qt::black);
    }
    painter.drawPath(shape);
  }
  const int passRadius = std::max(1, int(std::lround(radius * devicePixelRatio / 2)));
  for (int pass = 0; pass < 3; ++pass) {
    boxBlurAlpha(mask, passRadius, true);
    boxBlurAlpha(mask, passRadius, false);
  }
  // Tint: the mask holds plain black with the blurred coverage in its alpha.
  QImage shadow(mask.size(), QImage::Format_ARGB32_Premultiplied);
  shadow.fill(Qt::transparent);
  {
    QPainter painter(&shadow);
    painter.drawImage(0, 0, mask);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(shadow.rect(), colour);
  }
  shadow.setDevicePixelRatio(devicePixelRatio);
  return shadow;
}

}  // namespace pm
