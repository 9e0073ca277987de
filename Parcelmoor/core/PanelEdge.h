#pragma once

#include <QRectF>
#include <QString>

#include <array>
#include <optional>

namespace pm {

// The screen edge the upload panel docks at. Stored under "panelEdge" by its raw value.
enum class PanelEdge { left, top, right };

inline constexpr std::array<PanelEdge, 3> kAllPanelEdges{PanelEdge::left, PanelEdge::top, PanelEdge::right};

QString rawValue(PanelEdge edge);
// "top" and "right" name their edges; anything else, nothing stored included, is the left edge.
PanelEdge panelEdgeFromStoredText(const std::optional<QString>& text);

// The panel's rectangle for `edge` on a screen whose visible area is `visibleFrame`. Both rectangles are in
// screen coordinates with the origin at the lower left: x() and y() are the lower-left corner and y grows
// upwards. The panel is 384 points thick, reaches 30 points past the docked edge and is long enough for as
// many tiles as fit in half the edge (at least two).
QRectF panelFrame(PanelEdge edge, const QRectF& visibleFrame);

}  // namespace pm
