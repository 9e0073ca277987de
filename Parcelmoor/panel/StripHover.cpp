#include "panel/StripHover.h"

#include "panel/HoveredItemOverlay.h"
#include "panel/ItemTile.h"
#include "panel/TileStrip.h"

namespace pm {

StripHover::StripHover(TileStrip& strip, HoveredItemOverlay& overlay)
    : strip_(strip), overlay_(overlay) {
  connect(&strip_, &TileStrip::tileMade, this, &StripHover::track);
  connect(&strip_, &TileStrip::tileDropped, this, [this](ItemTile* tile) { reports_.remove(tile); });
}

void StripHover::track(ItemTile* tile) {
  connect(tile, &ItemTile::hoveredItemChanged, this, [this, tile](const std::optional<HoveredItem>& hovered) {
    reports_.insert(tile, hovered);
    update();
  });
}

void StripHover::update() {
  std::optional<HoveredItem> shown = HoveredItemKey::defaultValue();
  for (ItemTile* tile : strip_.tiles()) HoveredItemKey::reduce(shown, reports_.value(tile));
  overlay_.setHoveredItem(shown, strip_.panelEdge());
  Q_EMIT labelChanged();
}

}  // namespace pm
