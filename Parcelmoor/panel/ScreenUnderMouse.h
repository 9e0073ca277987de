#pragma once

class QScreen;

namespace pm {

// The first screen, in the system's order, whose geometry holds the mouse pointer; nothing when none does.
// Cheap enough for a poll several times a second: one pointer query and a walk over the screens.
QScreen* screenUnderMouse();

}  // namespace pm
