#pragma once

#include <QImage>
#include <QRect>

class QPainter;

namespace pm {

// The bar's dark translucent body and its faint rim. Antialiased fills and strokes of a shape that size are
// the costliest part of the bar's paint, and the bar repaints under the strip on every scroll step, so the
// body is drawn once per size into a picture that each paint only copies.
class BarBackdrop {
 public:
  explicit BarBackdrop(double cornerRadius) : cornerRadius_(cornerRadius) {}

  // Draws the body over `bar`, in the painter's coordinates.
  void paint(QPainter& painter, const QRect& bar);

 private:
  void drawBody(QPainter& painter, const QRectF& bar) const;

  double cornerRadius_;
  QImage picture_;
};

}  // namespace pm
