#pragma once

#include <QRect>

#include <algorithm>

#include "core/PanelEdge.h"

namespace pm {

// The bucket bar's sizes, in points, and what follows from them: how many tiles a bar holds before its
// strip scrolls, how long the strip is, and where each item lies in it. An item's place is its index times
// the pitch, so the strip is laid out from the item count alone.
struct BarMetrics {
  static constexpr int kTileLength = 60;
  static constexpr int kTileSpacing = 5;
  static constexpr int kStackPadding = 10;
  static constexpr int kBarThickness = 80;
  static constexpr int kShortestBar = 80;
  static constexpr int kOuterPadding = 18;
  static constexpr double kCornerRadius = 22;
  static constexpr int kFewestTiles = 2;
  static constexpr double kFinishButtonInset = 10;
  static constexpr int kTilePitch = kTileLength + kTileSpacing;
  // Tiles kept as widgets beyond each end of the view, so a short scroll finds them made.
  static constexpr int kTilesBeyondView = 4;

  // How many tiles fit along a bar in a panel `length` points long before the strip scrolls.
  static constexpr int tileCapacity(double length) {
    const double fitting =
        (length - 2 * kOuterPadding - 2 * kStackPadding + kTileSpacing) / (kTileLength + kTileSpacing);
    return fitting > kFewestTiles ? int(fitting) : kFewestTiles;
  }
  // The strip's length: one tile more each time up to `capacity`, never shorter than the shortest bar.
  static constexpr int stripLength(int capacity, qsizetype itemCount) {
    const qsizetype content = itemCount * (kTileLength + kTileSpacing) - kTileSpacing + 2 * kStackPadding;
    const int full = capacity * kTileLength + (capacity - 1) * kTileSpacing + 2 * kStackPadding;
    return int(std::min<qsizetype>(full, std::max<qsizetype>(kShortestBar, content)));
  }
  // Where the item at `index` lies in the strip's content of a bar at `edge`.
  static QRect tileRect(qsizetype index, PanelEdge edge) {
    const int along = int(kStackPadding + index * kTilePitch);
    return edge == PanelEdge::top ? QRect(along, kStackPadding, kTileLength, kTileLength)
                                  : QRect(kStackPadding, along, kTileLength, kTileLength);
  }
};

}  // namespace pm
