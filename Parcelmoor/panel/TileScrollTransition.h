#pragma once

#include <QPointF>
#include <QRectF>
#include <QTransform>

namespace pm {

// How a tile of the bar's strip looks as it scrolls out of view: it shrinks towards the end of the strip
// it leaves by and fades, so the strip's ends read as a soft edge rather than a cut.
struct TileScrollTransition {
  static constexpr double kShrink = 0.22;
  static constexpr double kFade = 0.55;

  // 0 while the tile is wholly visible, falling to −1 as it leaves before the visible part and rising to
  // +1 as it leaves after it, reached once it is one tile length out.
  double phase = 0;
  // The strip's axis: horizontal for a bar at the top, vertical otherwise.
  Qt::Orientation axis = Qt::Vertical;

  bool operator==(const TileScrollTransition&) const = default;

  // The phase of a tile spanning [tileStart, tileEnd) along the strip, of which [visibleStart, visibleEnd)
  // is in view.
  static double phaseOf(double tileStart, double tileEnd, double visibleStart, double visibleEnd);
  // The same for rectangles in one coordinate space, along `axis`.
  static TileScrollTransition of(const QRectF& tile, const QRectF& visible, Qt::Orientation axis);

  bool isIdentity() const { return phase == 0; }
  double scale() const;
  double opacity() const;
  // The fixed point of the scaling, in a tile of `size` at the origin: the strip's start while leaving
  // before the visible part, its end otherwise.
  QPointF anchor(const QSizeF& size) const;
  // Maps the tile's own drawing to its scaled place.
  QTransform transform(const QSizeF& size) const;
};

}  // namespace pm
