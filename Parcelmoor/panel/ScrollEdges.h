#pragma once

namespace pm {

// Which ends of the bar's strip have tiles scrolled out of view.
struct ScrollEdges {
  // Before the visible part: the left end of a horizontal strip, the top end of a vertical one.
  bool start = false;
  // After it: the right end, the bottom end.
  bool end = false;
  bool operator==(const ScrollEdges&) const = default;
};

}  // namespace pm
