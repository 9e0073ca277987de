#pragma once

#include <QRect>

#include "core/PanelEdge.h"

namespace pm {

// The panel window's rectangle for `edge` on a screen whose visible area is `availableGeometry`, both in
// Qt's global coordinates (origin at the top left, y growing downwards). This is panelFrame() — which
// works with the origin at the lower left — mirrored once, so the two coordinate systems meet here only.
// A half point from centring an odd length rounds to a whole one.
QRect panelWindowFrame(PanelEdge edge, const QRect& availableGeometry);

}  // namespace pm
