#pragma once

#include <QGradientStops>
#include <QLinearGradient>

#include "core/PanelEdge.h"
#include "panel/ScrollEdges.h"

class QPainter;

namespace pm {

// The mask of the bar's strip: an end with tiles scrolled away beyond it fades out over its outer 8 per
// cent; an end without stays fully drawn. Runs along the strip: left to right for a panel at the top,
// top to bottom at the left or right.
class BarEdgeFade {
 public:
  // How much of the strip's length each fading end takes.
  static constexpr double kFadeLength = 0.08;

  BarEdgeFade(ScrollEdges edges, PanelEdge edge) : edges_(edges), edge_(edge) {}

  // Opaque keeps the strip, transparent hides it.
  QGradientStops stops() const;
  QLinearGradient gradient(const QRectF& strip) const;
  // Applies the mask to what `painter` has drawn inside `strip` so far.
  void mask(QPainter& painter, const QRectF& strip) const;

 private:
  ScrollEdges edges_;
  PanelEdge edge_;
};

}  // namespace pm
