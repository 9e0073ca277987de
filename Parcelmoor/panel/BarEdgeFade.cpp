#include "BarEdgeFade.h"

#include <QPainter>

namespace pm {

QGradientStops BarEdgeFade::stops() const {
  const QColor kept(Qt::black);
  const QColor hidden(Qt::transparent);
  return {{0.0, edges_.start ? hidden : kept},
          {kFadeLength, kept},
          {1.0 - kFadeLength, kept},
          {1.0, edges_.end ? hidden : kept}};
}

QLinearGradient BarEdgeFade::gradient(const QRectF& strip) const {
  QLinearGradient gradient = edge_ == PanelEdge::top ? QLinearGradient(strip.topLeft(), strip.topRight())
                                                     : QLinearGradient(strip.topLeft(), strip.bottomLeft());
  gradient.setStops(stops());
  return gradient;
}

void BarEdgeFade::mask(QPainter& painter, const QRectF& strip) const {
  painter.save();
  painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
  painter.fillRect(strip, gradient(strip));
  painter.restore();
}

}  // namespace pm
