#pragma once

#include <QHash>
#include <QList>
#include <QScrollArea>
#include <QUuid>

#include <memory>
#include <utility>

#include "core/PanelEdge.h"

class QScrollBar;

namespace pm {

class BarSelection;
class BucketItem;
class BucketStore;
class Clock;
class FileViewer;
class ItemTile;
class MonotonicClock;

// The bar's scrolling strip of one tile per item of the open bucket. It is laid out from the items alone
// (an item's place is its index times the pitch); only the items in or near the view have a tile widget,
// made as they scroll in and dropped as they scroll away, so a bucket of any size costs what the view shows.
class TileStrip final : public QScrollArea {
  Q_OBJECT

 public:
  // `store`, `selection`, both clocks and `files` must outlive the strip. Tiles report their hover midpoint
  // in the coordinates of `hoverSpace`, an ancestor.
  TileStrip(BucketStore& store, const BarSelection& selection, const Clock& clock,
            const MonotonicClock& steadyClock, FileViewer& files, QWidget* hoverSpace, QWidget* parent = nullptr);

  PanelEdge panelEdge() const { return edge_; }
  void setPanelEdge(PanelEdge edge);
  // Multiplies every tile animation's duration; 0 makes every change immediate.
  void setAnimationScale(double scale);
  // Whether the running bucket lets items be withdrawn, for the tiles there are; a tile made later asks the
  // session itself.
  void setAllowsRemoval(bool allowed);

  // How many items the strip is laid out for.
  qsizetype itemCount() const { return itemCount_; }
  // The tile widgets in strip order: the items in or near the view (and a tile whose popover or menu is
  // open), not every item.
  QList<ItemTile*> tiles() const;
  // The item's tile widget; none while the item is far from the view.
  ItemTile* tile(const QUuid& itemID) const { return tiles_.value(itemID); }
  // Where the item at `index` lies in the strip's content.
  QRect tileRect(qsizetype index) const;
  // The scroll bar along the strip.
  QScrollBar* scrollBar() const;

  // Lays the strip out for the bucket's items as they are now.
  void syncItems();
  // Gives a tile to each item in or near the view and drops the tiles of the rest.
  void placeTiles();
  // Shrinks and fades each tile by how far it has scrolled out of view.
  void applyScrollTransitions();
  // Hovers the tile the pointer is over now, and no other.
  void hoverTileUnderPointer();
  // Rings the tiles of the selected items.
  void updateSelectionLook();

 Q_SIGNALS:
  // A tile came into being for an item scrolled near the view; its actions are for the bar to connect.
  void tileMade(pm::ItemTile* tile);
  // A tile is going away with its item or as it scrolls far out of view.
  void tileDropped(pm::ItemTile* tile);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void resizeStack();
  ItemTile* makeTile(const std::shared_ptr<BucketItem>& item);
  void dropTile(ItemTile* tile);

  BucketStore& store_;
  const BarSelection& selection_;
  const Clock& clock_;
  const MonotonicClock& steadyClock_;
  FileViewer& files_;
  QWidget* hoverSpace_;
  QWidget* stack_;
  PanelEdge edge_ = PanelEdge::left;
  double animationScale_ = 1.0;
  qsizetype itemCount_ = 0;
  QHash<QUuid, ItemTile*> tiles_;
  // The tile widgets by the index of their item, in strip order.
  QList<std::pair<qsizetype, ItemTile*>> placed_;
  bool placing_ = false;
};

}  // namespace pm
