#pragma once

class QRegion;
class QWidget;

namespace pm {

// Sets which part of the top-level `window` takes the mouse, in its own coordinates, without touching what
// it draws: on X11 the window's input shape, which leaves its bounding shape (what is drawn) whole. An
// empty region takes nothing. A window not created yet is left as it is: call again once it is (its
// WinIdChange event). False on another platform than X11; the caller then has only the widget mask, which
// cuts the drawing as well.
bool setWindowInputRegion(QWidget& window, const QRegion& region);

}  // namespace pm
