#pragma once

namespace pm {

class Clock;
class ItemTile;

// Gives a tile its reveal and ripple: each effect is made the first time the tile needs it and drawn
// into the tile through its hooks. `clock` must outlive the tile.
void attachTileEffects(ItemTile& tile, const Clock& clock);

}  // namespace pm
