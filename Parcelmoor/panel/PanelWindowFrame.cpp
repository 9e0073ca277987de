#include "PanelWindowFrame.h"

#include <cmath>

namespace pm {

namespace {

// Half points round up wherever the rectangle lies, and the size stays whole: QRectF::toRect() would
// round a negative half away from zero and could change the width by one.
int roundHalfUp(double value) {
  return int(std::floor(value + 0.5));
}

}  // namespace

QRect panelWindowFrame(PanelEdge edge, const QRect& availableGeometry) {
  // Mirroring about y = 0 turns a top-left rectangle into a lower-left one and back; the arithmetic of
  // panelFrame() only needs the two to agree, not a particular screen as reference.
  const QRectF visible(availableGeometry);
  const QRectF frame =
      panelFrame(edge, QRectF(visible.x(), -visible.bottom(), visible.width(), visible.height()));
  return QRect(roundHalfUp(frame.x()), roundHalfUp(-frame.bottom()), roundHalfUp(frame.width()),
               roundHalfUp(frame.height()));
}

}  // namespace pm
