#pragma once

#include <QDateTime>

#include <chrono>
#include <optional>

#include "core/Bucket.h"

namespace pm {

// A new item's thumbnail plays its reveal for this long after the item was added; until then the tile
// keeps its hover ring, dimming, badge, remove button and hover label back.
inline constexpr std::chrono::milliseconds kTileRevealDuration{1100};

// Which explanation a tile's badge opens. Sensitive beats errors: the file is not even sent yet.
enum class TileBadge { none, sensitive, errors };

// Everything a tile derives from its item at one moment; recomputed whenever the item or the time changes.
struct TileStatus {
  // Registering while a sensitive item waits for the user's consent, otherwise the item's state.
  BucketItem::State shownState;
  bool needsAttention = false;
  // The reveal has run its course (or the item is older than the reveal); the overlays may show.
  bool settled = false;
  bool isFinished = false;
  // In flight and not held back: the ripple shows.
  bool isActive = false;
  TileBadge badge = TileBadge::none;
  // The fraction the hover label shows; only while the shown state is uploading.
  std::optional<double> hoverProgress;
};

TileStatus tileStatus(const BucketItem& item, bool revealed, const QDateTime& now);

}  // namespace pm
