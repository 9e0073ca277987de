#pragma once

#include <QPointF>
#include <QSizeF>

#include "core/PanelEdge.h"

namespace pm {

// What a scrolling strip reports of itself: its content, the visible part and how far it is scrolled.
struct ScrollGeometry {
  QSizeF content;
  QSizeF container;
  QPointF offset;
};

// Which ends of the bar's strip have tiles scrolled out of view.
struct ScrollEdges {
  // Before the visible part: the left end of a horizontal strip, the top end of a vertical one.
  bool start = false;
  // After it: the right end, the bottom end.
  bool end = false;
  bool operator==(const ScrollEdges&) const = default;

  // A strip resting within 4 points of an end counts as showing it, so a small bounce never fades it.
  static ScrollEdges measure(const ScrollGeometry& geometry, PanelEdge edge) {
    constexpr double margin = 4;
    const bool horizontal = edge == PanelEdge::top;
    const double content = horizontal ? geometry.content.width() : geometry.content.height();
    const double container = horizontal ? geometry.container.width() : geometry.container.height();
    const double offset = horizontal ? geometry.offset.x() : geometry.offset.y();
    const double overflow = content - container > 0 ? content - container : 0;
    return {offset > margin, offset < overflow - margin};
  }
};

}  // namespace pm
