#pragma once

#include <QDateTime>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

#include "core/Bucket.h"
#include "core/PanelEdge.h"
#include "panel/EasedValue.h"
#include "panel/HoveredItem.h"
#include "panel/LoadedThumbnail.h"
#include "panel/PopoverWindow.h"
#include "panel/TileScrollTransition.h"
#include "panel/TileSelection.h"
#include "panel/TileStatus.h"
#include "platform/Async.h"
#include "platform/MonotonicClock.h"

class QMenu;

namespace pm {

class Clock;
class FileViewer;
class TileBadgeButton;
class TileRemoveButton;

// The 60-point square that stands for one bucket item in the bar: its thumbnail, darker while in flight,
// with the selection and hover rings, a dimming layer and a badge when the item needs the user, a remove
// button and a context menu. It holds no upload logic: every action goes back to the bar as a signal.
// New items play a reveal for their first 1.1 s; until then only the selection ring may cover them.
class ItemTile final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kSide = 60;
  static constexpr qreal kCornerRadius = 14;

  // Draws the content while the reveal plays: the plain content as a picture of the tile's size, and the
  // moment the reveal began (the item's arrival). Set by the panel, which owns the reveal effect.
  using RevealPainter = std::function<void(QPainter&, const QRectF& tile, const QImage& content, const QDateTime& start)>;
  // Draws the ripple, cut to the tile's shape (the tile sets no clip for it); called on every frame while the
  // hook is set and the ripple runs.
  using RipplePainter = std::function<void(QPainter&, const QRectF& tile)>;

  // `clock` (which ages the item), `steadyClock` (which times the ripple's fade) and `files` must outlive
  // the tile.
  ItemTile(Bucket::ItemPointer item, const Clock& clock, const MonotonicClock& steadyClock, FileViewer& files,
           QWidget* parent = nullptr);
  ~ItemTile() override;

  const Bucket::ItemPointer& item() const { return item_; }

  bool isSelected() const { return selected_; }
  void setSelected(bool selected);
  // Whether the running bucket still lets items be withdrawn (false when there is no session).
  bool allowsRemoval() const { return allowsRemoval_; }
  void setAllowsRemoval(bool allowed);
  // The panel's screen edge: popovers open on the side facing into the screen.
  PanelEdge panelEdge() const { return edge_; }
  void setPanelEdge(PanelEdge edge) { edge_ = edge; }
  // The widget whose coordinates the hover report's midpoint is given in (the bar's strip); an ancestor.
  void setHoverSpace(QWidget* space);
  // Multiplies every animation's duration; 0 makes every change immediate.
  void setAnimationScale(double scale) { animationScale_ = scale; }

  const TileStatus& status() const { return status_; }
  bool isRevealed() const { return revealed_; }
  bool isHovering() const { return hovering_; }
  // Whether the pointer is over the tile, for when the strip moved the tile under a pointer at rest: Qt
  // tells a widget of the pointer's comings and goings only as the pointer moves. A tile that stays under
  // the pointer reports its new place.
  void setPointerOver(bool over);
  const std::optional<LoadedThumbnail>& thumbnail() const { return thumbnail_; }
  // How far the tile has scrolled out of the strip's view; it repaints only when that changes.
  const TileScrollTransition& scrollTransition() const { return scrollTransition_; }
  void setScrollTransition(const TileScrollTransition& transition);

  // The current hover report: set while the tile is hovered and settled.
  const std::optional<HoveredItem>& hoveredItem() const { return hovered_; }

  // The effect seams. The reveal plays while a thumbnail is there, the reveal has not finished and the
  // item is younger than the reveal; the ripple runs while `rippleActive()`.
  bool isRevealing() const;
  QDateTime revealStart() const { return item_->addedAt(); }
  bool rippleActive() const { return status_.isActive; }
  void setRevealPainter(RevealPainter painter);
  void setRipplePainter(RipplePainter painter);
  // The reveal effect ran its course.
  void markRevealed();

  // A mouse press with its click count: selects, or previews on the second press of a double click.
  void handleClick(int clickCount, Qt::KeyboardModifiers modifiers);
  // The context menu as the user gets it; the caller owns it.
  QMenu* makeContextMenu(QWidget* parent);
  // Re-evaluates everything derived from the item and the time.
  void refresh();

  TileBadgeButton& badge() const { return *badge_; }
  TileRemoveButton& removeButton() const { return *remove_; }
  bool isShowingSensitive() const { return showingSensitive_; }
  bool isShowingErrors() const { return showingErrors_; }
  PopoverWindow* popover() const { return popover_.data(); }
  // Opens the explanation the badge stands for, as pressing the badge does.
  void openBadgePopover();

  QSize sizeHint() const override { return {kSide, kSide}; }

 Q_SIGNALS:
  void selectRequested(pm::TileSelection selection);
  void removeRequested();
  void previewRequested();
  void approveRequested();
  void hoveredItemChanged(const std::optional<pm::HoveredItem>& item);
  void rippleActiveChanged(bool active);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void press(QMouseEvent* event);
  void startThumbnailLoad();
  void setThumbnail(LoadedThumbnail thumbnail);
  // The thumbnail drawn into the tile's square, made once per picture.
  const QImage& contentPicture();
  void scheduleSettling();
  void updateHoverReport();
  // Whether the ripple shows: while the item is active and as it fades out after.
  bool isRippling() const;
  void updateFrames();
  void showPopover(QWidget* content);
  std::chrono::milliseconds scaled(int milliseconds) const;

  Bucket::ItemPointer item_;
  // Held while the tile lives, so the item keeps telling it of changes.
  std::shared_ptr<BucketItemNotifier> itemNotifier_;
  const Clock& clock_;
  const MonotonicClock& steadyClock_;
  FileViewer& files_;
  bool selected_ = false;
  bool allowsRemoval_ = false;
  PanelEdge edge_ = PanelEdge::left;
  QPointer<QWidget> hoverSpace_;
  double animationScale_ = 1.0;

  TileStatus status_;
  std::optional<LoadedThumbnail> thumbnail_;
  // Stops the thumbnail's load once the tile is gone: a tile scrolled past leaves nothing to finish.
  CancelTokenPtr thumbnailLoad_ = makeCancelToken();
  QImage content_;
  bool revealed_ = false;
  bool hovering_ = false;
  bool showingErrors_ = false;
  bool showingSensitive_ = false;
  std::optional<HoveredItem> hovered_;

  // Click counting of our own: Qt reports a double click but never a third press as such.
  qulonglong lastPressTime_ = 0;
  QPointF lastPressPosition_;
  int lastClickCount_ = 0;

  TileScrollTransition scrollTransition_;
  EasedValue darkness_;
  EasedValue selectionRing_;
  EasedValue hoverRing_;
  EasedValue attention_;
  TileBadgeButton* badge_;
  TileRemoveButton* remove_;
  QPointer<PopoverWindow> popover_;
  QTimer settleTimer_;
  // Followed on the bar's shared frame clock while the reveal or the ripple runs.
  QMetaObject::Connection frames_;
  MonotonicClock::TimePoint rippleChangedAt_;
  RevealPainter revealPainter_;
  RipplePainter ripplePainter_;
};

}  // namespace pm
