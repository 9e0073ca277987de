#pragma once

#include <QString>

#include <optional>

namespace pm {

// The tile under the pointer, as the bar needs it to float the item's name beside it. The midpoint is in
// the coordinates of the bar's strip.
struct HoveredItem {
  QString name;
  // The upload fraction while the item uploads; nothing otherwise.
  std::optional<double> progress;
  double midX = 0;
  double midY = 0;

  bool operator==(const HoveredItem&) const = default;
};

// How the tiles' reports combine into the one the bar shows: a tile that reports nothing never erases
// another's report, and of two reports the later tile in strip order wins.
struct HoveredItemKey {
  static std::optional<HoveredItem> defaultValue() { return std::nullopt; }
  static void reduce(std::optional<HoveredItem>& value, const std::optional<HoveredItem>& next) {
    if (next) value = next;
  }
};

}  // namespace pm
