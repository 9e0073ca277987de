#pragma once

#include <Qt>

#include <optional>

namespace pm {

// How a click on a tile changes the bar's selection.
enum class TileSelection { replace, toggle, range };

// The selection change a mouse press asks for, or nothing when it asks for a preview instead: the second
// press of a double click previews; every other press selects (a triple click's third press selects again).
// Ctrl stands where the Mac has Command: it toggles, and wins over Shift, which extends a range.
std::optional<TileSelection> selectionForClick(int clickCount, Qt::KeyboardModifiers modifiers);

}  // namespace pm
