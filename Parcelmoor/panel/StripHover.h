#pragma once

#include <QHash>
#include <QObject>

#include <optional>

#include "panel/HoveredItem.h"

namespace pm {

class HoveredItemOverlay;
class ItemTile;
class TileStrip;

// Which of the strip's tiles is hovered, as the tiles report it, shown as the item's label in the overlay.
class StripHover final : public QObject {
  Q_OBJECT

 public:
  // `strip` and `overlay` must outlive the hover.
  StripHover(TileStrip& strip, HoveredItemOverlay& overlay);

  // Shows the label of the tile the reports name, beside it.
  void update();

 Q_SIGNALS:
  // The label may have come, gone or moved.
  void labelChanged();

 private:
  void track(ItemTile* tile);

  TileStrip& strip_;
  HoveredItemOverlay& overlay_;
  QHash<ItemTile*, std::optional<HoveredItem>> reports_;
};

}  // namespace pm
