#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace pm::settings {

// Where a window opens: at its preferred size (but never below what its content needs), shrunk to what the
// screen has free when that is less, centred there and wholly on it.
QRect windowPlacement(QSize preferred, QSize minimum, const QRect& available);

// Places `window` on the screen it will show on (the primary one when it has none yet).
void placeWindow(QWidget& window, QSize preferred);

}  // namespace pm::settings
