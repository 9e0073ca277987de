#pragma once

namespace pm {

// Which ends of the bar's strip have tiles scrolled out of view.
struct ScrollEdges {
  bool start = false;  // before the visible part: the left end of a horizontal strip, the top of a vertical one
  bool end = false;    // after it: the right end, the bottom end
  bool operator==(const ScrollEdges&) const = default;
};

}  // namespace pm
