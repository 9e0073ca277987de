#include "TileScrollTransition.h"

#include <algorithm>
#include <cmath>

namespace pm {

double TileScrollTransition::phaseOf(double tileStart, double tileEnd, double visibleStart,
                                     double visibleEnd) {
  const double length = tileEnd - tileStart;
  if (!(length > 0)) return 0;
  const double before = std::max(0.0, visibleStart - tileStart);
  const double after = std::max(0.0, tileEnd - visibleEnd);
  // A tile longer than the view sticks out at both ends; the larger part decides.
  if (before == 0 && after == 0) return 0;
  return before >= after ? -std::min(1.0, before / length) : std::min(1.0, after / length);
}

TileScrollTransition TileScrollTransition::of(const QRectF& tile, const QRectF& visible,
                                              Qt::Orientation axis) {
  const double phase = axis == Qt::Horizontal
                           ? phaseOf(tile.left(), tile.right(), visible.left(), visible.right())
                           : phaseOf(tile.top(), tile.bottom(), visible.top(), visible.bottom());
  return {phase, axis};
}

double TileScrollTransition::scale() const {
  return 1 - kShrink * std::abs(phase);
}

double TileScrollTransition::opacity() const {
  return 1 - kFade * std::abs(phase);
}

QPointF TileScrollTransition::anchor(const QSizeF& size) const {
  const bool atStart = phase < 0;
  if (axis == Qt::Horizontal) return {atStart ? 0 : size.width(), size.height() / 2};
  return {size.width() / 2, atStart ? 0 : size.height()};
}

QTransform TileScrollTransition::transform(const QSizeF& size) const {
  const QPointF fixed = anchor(size);
  const double factor = scale();
  return QTransform::fromTranslate(-fixed.x(), -fixed.y()) * QTransform::fromScale(factor, factor) *
         QTransform::fromTranslate(fixed.x(), fixed.y());
}

}  // namespace pm
