#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace pm::settings {

// Where a window opens: at its preferred size (but never below what its content needs), shrunk to what the
// screen has free when that is less, centred there and wholly on it, the window manager's `frame` (title
// bar and borders around the content) included. Gives the content's rectangle.
QRect windowPlacement(QSize preferred, QSize minimum, const QRect& available, const QMargins& frame = {});

// Places `window` on the screen it will show on (the primary one when it has none yet). The frame is known
// only once the window manager has put the shown window in it: then the window is placed again if its
// frame reaches past the screen's free area.
void placeWindow(QWidget& window, QSize preferred);

}  // namespace pm::settings
