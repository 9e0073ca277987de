#pragma once

#include <QPointer>
#include <QRegion>
#include <QUuid>
#include <QWidget>

#include <QCoroTask>

#include <memory>
#include <optional>

#include "panel/BarDropTarget.h"
#include "panel/BarFrame.h"
#include "panel/BarKeys.h"
#include "panel/BarSelection.h"
#include "panel/BarServices.h"
#include "panel/DesktopFileViewer.h"
#include "panel/ScrollEdges.h"
#include "panel/StripHover.h"
#include "panel/StripScroll.h"
#include "panel/TileStrip.h"
#include "platform/Clock.h"

class QKeyEvent;
class QScrollArea;

namespace pm {

class Bucket;
class BucketStore;
class FinishButton;
class HoveredItemOverlay;
class ItemTile;
class PanelPresentation;
class UploadPanel;
class UploadSession;
class UploadSoundPlayer;

// The bucket bar: the root of the panel's content. A rounded translucent bar docked at the panel's edge
// with a scrolling strip of one tile per item of the open bucket, the finish button at a corner and the
// hovered tile's label beside it. It follows the open bucket and session, takes dropped files for the
// session, owns the selection and its keys, and sends the panel away when the session is over.
class UploadPanelView final : public QWidget {
  Q_OBJECT

 public:
  // `store` and `presentation` and the services must outlive the view.
  UploadPanelView(BucketStore& store, PanelPresentation& presentation, BarServices services = {},
                  QWidget* parent = nullptr);
  ~UploadPanelView() override;

  // The panel that hosts the view; it is sent away when the session ends.
  void setPanel(UploadPanel* panel);
  // Multiplies every animation's duration; 0 makes every change immediate.
  void setAnimationScale(double scale);

  // The bar's rectangle in this view's coordinates.
  QRect barRect() const { return frame_.rect(); }
  // What takes the mouse: the bar and whatever floats over it.
  QRegion interactiveRegion() const;

  BarSelection& selection() { return selection_; }
  const ScrollEdges& edges() const { return scroll_.edges(); }
  bool isDropTarget() const { return drops_.isDropTarget(); }
  bool hasKeyMonitor() const { return keys_.isMonitoring(); }
  QScrollArea& strip() const { return *strip_; }
  FinishButton& finishButton() const { return *finishButton_; }
  HoveredItemOverlay& hoveredOverlay() const { return *overlay_; }
  // The tile widgets in strip order: the items in or near the view (and a tile whose popover or menu is
  // open), not every item.
  QList<ItemTile*> tiles() const { return strip_->tiles(); }
  // The item's tile widget; none while the item is far from the view.
  ItemTile* tile(const QUuid& itemID) const { return strip_->tile(itemID); }
  // Where the item at `index` lies in the strip's content.
  QRect tileRect(qsizetype index) const { return strip_->tileRect(index); }

  // Hands dropped files to the open session; whether the drop is taken.
  bool handleDrop(const QList<QUrl>& urls) { return drops_.handleDrop(urls); }
  void select(const QUuid& itemID, TileSelection mode);
  void preview(const QUuid& itemID);
  void previewSelection();
  void removeSelection();
  void moveSelection(int delta, bool extending);
  // Whether the bar took the key; keys count only while the panel is the active window.
  bool handleKeyDown(QKeyEvent& event, QObject* receiver) { return keys_.handleKeyDown(event, receiver); }
  void installKeyMonitor() { keys_.installMonitor(); }
  void removeKeyMonitor() { keys_.removeMonitor(); }
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

 private:
  QList<QUuid> order() const;
  std::shared_ptr<UploadSession> session() const;
  void followCurrentBucket();
  void itemsChanged();
  void syncTiles();
  void connectTile(ItemTile* tile);
  void revealAnchor();
  void followSession();
  void applyEdge();
  void layoutBar();

  BucketStore& store_;
  PanelPresentation& presentation_;
  BarServices services_;
  SystemClock systemClock_;
  DesktopFileViewer desktopFiles_;
  QPointer<UploadPanel> panel_;

  BarSelection selection_;
  bool syncPending_ = false;

  QPointer<Bucket> bucket_;
  QMetaObject::Connection bucketConnection_;
  std::shared_ptr<UploadSession> session_;
  std::optional<QUuid> lastItemID_;
  qsizetype itemCount_ = 0;

  TileStrip* strip_;
  FinishButton* finishButton_;
  HoveredItemOverlay* overlay_;
  std::unique_ptr<UploadSoundPlayer> sounds_;
  BarFrame frame_;
  BarDropTarget drops_;
  BarKeys keys_;
  StripScroll scroll_;
  StripHover hover_;
};

}  // namespace pm
