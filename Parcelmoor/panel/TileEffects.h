#pragma once

namespace pm {

class Clock;
class ItemTile;
class MonotonicClock;

// Gives a tile its reveal and ripple: each effect is made the first time the tile needs it and drawn
// into the tile through its hooks. The reveal runs from the item's arrival on the wall `clock`; the ripple
// pulses on `steadyClock`. Both clocks must outlive the tile.
void attachTileEffects(ItemTile& tile, const Clock& clock, const MonotonicClock& steadyClock);

}  // namespace pm
