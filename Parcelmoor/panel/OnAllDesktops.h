#pragma once

class QWidget;

namespace pm {

// Asks the window manager to show the top-level `window` on every virtual desktop, where it offers that
// (the desktop "all" and the state "sticky" of the window-manager hints), so the panel is there whichever
// desktop the user works on. Call it while the window is not mapped (its show event): the manager reads
// both when it maps the window, and Qt keeps a state it finds there. Does nothing off X11.
void askToShowOnAllDesktops(QWidget& window);

}  // namespace pm
