#pragma once

namespace pm {

class SharedDefaults;
class Signals;

// Publishes the sync state the settings program shows when no pairing runs: {"on":{}} or {"off":{}} as
// data under "syncState", then "syncChanged".
void publishIdleSyncState(SharedDefaults& defaults, Signals& signals, bool syncOn);

}  // namespace pm
