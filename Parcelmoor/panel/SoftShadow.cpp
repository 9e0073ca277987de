#include "panel/SoftShadow.h"

#include <QPainter>

namespace pm {

void drawSoftShadow(QPainter& painter, const QPainterPath& shape, qreal radius, const QColor& colour) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(Qt::NoBrush);
  constexpr int kSteps = 3;
  for (int step = kSteps; step >= 1; --step) {
    QColor layer = colour;
    layer.setAlphaF(colour.alphaF() / float(kSteps));
    painter.setPen(QPen(layer, 2 * radius * step / kSteps, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(shape);
  }
  painter.restore();
}

}  // namespace pm
