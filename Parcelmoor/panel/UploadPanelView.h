#pragma once

#include <QHash>
#include <QPointer>
#include <QRegion>
#include <QUuid>
#include <QVariantAnimation>
#include <QWidget>

#include <QCoroTask>

#include <memory>
#include <optional>

#include "panel/BarBackdrop.h"
#include "panel/BarSelection.h"
#include "panel/BarServices.h"
#include "panel/DesktopFileViewer.h"
#include "panel/EasedScroll.h"
#include "panel/HoveredItem.h"
#include "panel/ScrollEdges.h"
#include "platform/Clock.h"

class QKeyEvent;
class QScrollArea;
class QScrollBar;

namespace pm {

class Bucket;
class BucketItem;
class BucketStore;
class FinishButton;
class HoveredItemOverlay;
class ItemTile;
class PanelPresentation;
class StripFadeEffect;
class UploadPanel;
class UploadSession;
class UploadSoundPlayer;

// The bucket bar: the root of the panel's content. A rounded translucent bar docked at the panel's edge
// with a scrolling strip of one tile per item of the open bucket, the finish button at a corner and the
// hovered tile's label beside it. It takes dropped files for the open session, owns the selection and its
// keys, and sends the panel away when the session is over.
// The strip is laid out from the items alone (an item's place is its index times the pitch); only the
// items in or near the view have a tile widget, so a bucket of any size costs what the view shows.
class UploadPanelView final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTileLength = 60;
  static constexpr int kTileSpacing = 5;
  static constexpr int kStackPadding = 10;
  static constexpr int kBarThickness = 80;
  static constexpr int kShortestBar = 80;
  static constexpr int kOuterPadding = 18;
  static constexpr double kCornerRadius = 22;
  static constexpr int kFewestTiles = 2;
  static constexpr double kFinishButtonInset = 10;
  static constexpr int kTilePitch = kTileLength + kTileSpacing;
  // Tiles kept as widgets beyond each end of the view, so a short scroll finds them made.
  static constexpr int kTilesBeyondView = 4;

  // How many tiles fit along a bar in a panel `length` points long before the strip scrolls.
  static constexpr int tileCapacity(double length) {
    const double fitting =
        (length - 2 * kOuterPadding - 2 * kStackPadding + kTileSpacing) / (kTileLength + kTileSpacing);
    return fitting > kFewestTiles ? int(fitting) : kFewestTiles;
  }
  // The strip's length: one tile more each time up to `capacity`, never shorter than the shortest bar.
  static constexpr int stripLength(int capacity, qsizetype itemCount) {
    const qsizetype content = itemCount * (kTileLength + kTileSpacing) - kTileSpacing + 2 * kStackPadding;
    const int full = capacity * kTileLength + (capacity - 1) * kTileSpacing + 2 * kStackPadding;
    return int(std::min<qsizetype>(full, std::max<qsizetype>(kShortestBar, content)));
  }

  // `store` and `presentation` and the services must outlive the view.
  UploadPanelView(BucketStore& store, PanelPresentation& presentation, BarServices services = {},
                  QWidget* parent = nullptr);
  ~UploadPanelView() override;

  // The panel that hosts the view; it is sent away when the session ends.
  void setPanel(UploadPanel* panel);
  // Multiplies every animation's duration; 0 makes every change immediate.
  void setAnimationScale(double scale);

  // The bar's rectangle in this view's coordinates.
  QRect barRect() const;
  // What takes the mouse: the bar and whatever floats over it.
  QRegion interactiveRegion() const;

  BarSelection& selection() { return selection_; }
  const ScrollEdges& edges() const { return edges_; }
  bool isDropTarget() const { return isDropTarget_; }
  bool hasKeyMonitor() const { return keyMonitor_; }
  QScrollArea& strip() const { return *strip_; }
  FinishButton& finishButton() const { return *finishButton_; }
  HoveredItemOverlay& hoveredOverlay() const { return *overlay_; }
  // The tile widgets in strip order: the items in or near the view (and a tile whose popover or menu is
  // open), not every item.
  QList<ItemTile*> tiles() const;
  // The item's tile widget; none while the item is far from the view.
  ItemTile* tile(const QUuid& itemID) const { return tiles_.value(itemID); }
  // Where the item at `index` lies in the strip's content.
  QRect tileRect(qsizetype index) const;

  // Hands dropped files to the open session; whether the drop is taken.
  bool handleDrop(const QList<QUrl>& urls);
  void select(const QUuid& itemID, TileSelection mode);
  void preview(const QUuid& itemID);
  void previewSelection();
  void removeSelection();
  void moveSelection(int delta, bool extending);
  // Whether the bar took the key; keys count only while the panel is the active window.
  bool handleKeyDown(QKeyEvent& event, QObject* receiver);
  void installKeyMonitor();
  void removeKeyMonitor();
  void pruneSelection();
  void resetAfterSession();
  // Ends the open bucket and hands its link to the clipboard and the user.
  QCoro::Task<> finish();

 Q_SIGNALS:
  void interactiveRegionChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QList<QUuid> order() const;
  std::shared_ptr<UploadSession> session() const;
  void followCurrentBucket();
  void itemsChanged();
  void syncTiles();
  void placeTiles();
  ItemTile* makeTile(const std::shared_ptr<BucketItem>& item);
  void dropTile(ItemTile* tile);
  void stripSettled();
  void resizeStack();
  QScrollBar* scrollBar() const;
  void revealAnchor();
  void followSession();
  void applyEdge();
  void updateAllowsRemoval();
  void updateSelectionLook();
  void updateStripLength(bool animated);
  void layoutBar();
  void measureEdges();
  void applyScrollTransitions();
  void scrollToEnd();
  void updateHoveredItem();
  void setDropTarget(bool target);
  void animateScroll(int to, int milliseconds);

  BucketStore& store_;
  PanelPresentation& presentation_;
  BarServices services_;
  SystemClock systemClock_;
  DesktopFileViewer desktopFiles_;
  QPointer<UploadPanel> panel_;
  double animationScale_ = 1.0;

  BarSelection selection_;
  bool keyMonitor_ = false;
  ScrollEdges edges_;
  bool followingEnd_ = false;
  bool syncPending_ = false;
  bool isDropTarget_ = false;
  double dropHighlight_ = 0;
  BarBackdrop backdrop_{kCornerRadius};

  QPointer<Bucket> bucket_;
  QMetaObject::Connection bucketConnection_;
  std::shared_ptr<UploadSession> session_;
  std::optional<QUuid> lastItemID_;
  qsizetype itemCount_ = 0;
  qsizetype shownItemCount_ = 0;

  QScrollArea* strip_;
  QWidget* stack_;
  StripFadeEffect* fade_;
  FinishButton* finishButton_;
  HoveredItemOverlay* overlay_;
  std::unique_ptr<UploadSoundPlayer> sounds_;
  QHash<QUuid, ItemTile*> tiles_;
  // The tile widgets by the index of their item, in strip order.
  QList<std::pair<qsizetype, ItemTile*>> placed_;
  bool placing_ = false;
  QHash<ItemTile*, std::optional<HoveredItem>> hoverReports_;
  QVariantAnimation stripLengthAnimation_;
  QVariantAnimation dropHighlightAnimation_;
  EasedScroll scroll_;
  double shownStripLength_ = kShortestBar;
};

}  // namespace pm
