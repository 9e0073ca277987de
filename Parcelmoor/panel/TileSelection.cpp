#include "panel/TileSelection.h"

namespace pm {

std::optional<TileSelection> selectionForClick(int clickCount, Qt::KeyboardModifiers modifiers) {
  if (clickCount == 2) return std::nullopt;
  if (modifiers.testFlag(Qt::ControlModifier)) return TileSelection::toggle;
  if (modifiers.testFlag(Qt::ShiftModifier)) return TileSelection::range;
  return TileSelection::replace;
}

}  // namespace pm
