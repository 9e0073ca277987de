#include "panel/TileStatus.h"

namespace pm {

TileStatus tileStatus(const BucketItem& item, bool revealed, const QDateTime& now) {
  using Case = BucketItem::State::Case;
  const bool heldBack = item.isSensitive() && !item.consented();
  const Case kind = item.state().kind();

  TileStatus status;
  status.shownState = heldBack ? BucketItem::State::registering() : item.state();
  status.needsAttention = heldBack || !item.errors().isEmpty();
  status.settled = revealed || item.addedAt().msecsTo(now) >= kTileRevealDuration.count();
  status.isFinished = kind == Case::uploaded || kind == Case::failed;
  status.isActive = (kind == Case::registering || kind == Case::uploading) && !heldBack;
  if (heldBack) {
    status.badge = TileBadge::sensitive;
  } else if (!item.errors().isEmpty()) {
    status.badge = TileBadge::errors;
  }
  if (status.shownState.kind() == Case::uploading) status.hoverProgress = status.shownState.fraction();
  return status;
}

}  // namespace pm
