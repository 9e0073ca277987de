#include "UploadPanelView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>

#include "panel/FinishButton.h"
#include "panel/FinishedBucketShare.h"
#include "panel/HoveredItemOverlay.h"
#include "panel/ItemTile.h"
#include "panel/PanelPresentation.h"
#include "panel/PreviewWindow.h"
#include "panel/QuickLookPreview.h"
#include "panel/StripFadeEffect.h"
#include "panel/TileEffects.h"
#include "panel/UnconstrainedPanel.h"
#include "panel/UploadPanel.h"
#include "panel/UploadSoundPlayer.h"
#include "upload/BucketStore.h"
#include "upload/BucketUploader.h"
#include "upload/UploadSession.h"

namespace pm {

namespace {

constexpr int kStripSpringMs = 350;
constexpr int kFollowEndMs = 350;
constexpr int kRevealAnchorMs = 300;
constexpr int kDropHighlightMs = 150;

// The bar is dark in every desktop theme: light text, the accent for selection and drops.
QPalette barPalette(QPalette palette) {
  palette.setColor(QPalette::Window, QColor(0x26, 0x26, 0x28));
  palette.setColor(QPalette::WindowText, Qt::white);
  palette.setColor(QPalette::Text, Qt::white);
  palette.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
  return palette;
}

QStringList localPaths(const QList<QUrl>& urls) {
  QStringList paths;
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

UploadPanelView::UploadPanelView(BucketStore& store, PanelPresentation& presentation, BarServices services,
                                 QWidget* parent)
    : QWidget(parent),
      store_(store),
      presentation_(presentation),
      services_(services),
      strip_(new QScrollArea(this)),
      stack_(new QWidget),
      fade_(new StripFadeEffect(strip_)),
      finishButton_(new FinishButton([this] { return finish(); }, this)),
      overlay_(new HoveredItemOverlay(this)),
      scroll_(services.clock ? *services.clock : systemClock_) {
  if (!services_.clock) services_.clock = &systemClock_;
  if (!services_.files) services_.files = &desktopFiles_;
  setPalette(barPalette(palette()));
  setAcceptDrops(true);

  stack_->setFixedSize(kStackPadding * 2, kStackPadding * 2);
  strip_->setFrameShape(QFrame::NoFrame);
  strip_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  strip_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  strip_->setWidget(stack_);
  strip_->setAlignment(Qt::AlignCenter);
  // The bar shows through the strip. Transparent by attribute, not by a style sheet: a sheet over the strip
  // would restyle every tile and button made as it scrolls into view, at a cost of milliseconds each.
  // The scroll area fills what it is given, so the stack is made see-through after it is set.
  stack_->setAutoFillBackground(false);
  strip_->viewport()->setAutoFillBackground(false);
  strip_->setGraphicsEffect(fade_);
  // Which items have a tile, and each tile's phase, depend on where the view is over the strip: that
  // settles on the scroll bars' signals and also after them (a resize or move of the stack or the view,
  // a show), so both follow all of those.
  stack_->installEventFilter(this);
  strip_->viewport()->installEventFilter(this);
  for (QScrollBar* bar : {strip_->horizontalScrollBar(), strip_->verticalScrollBar()}) {
    connect(bar, &QScrollBar::valueChanged, this, &UploadPanelView::measureEdges);
    connect(bar, &QScrollBar::rangeChanged, this, &UploadPanelView::measureEdges);
    connect(bar, &QScrollBar::valueChanged, this, &UploadPanelView::stripSettled);
    connect(bar, &QScrollBar::rangeChanged, this, &UploadPanelView::stripSettled);
  }

  overlay_->setAttribute(Qt::WA_TransparentForMouseEvents);
  overlay_->raise();
  finishButton_->raise();
  // The button shows and hides itself as the session changes; the window's input mask must follow.
  finishButton_->installEventFilter(this);

  stripLengthAnimation_.setEasingCurve(QEasingCurve::OutBack);
  connect(&stripLengthAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    shownStripLength_ = value.toDouble();
    layoutBar();
  });
  connect(&stripLengthAnimation_, &QVariantAnimation::finished, this, &UploadPanelView::stripSettled);
  dropHighlightAnimation_.setEasingCurve(QEasingCurve::OutCubic);
  connect(&dropHighlightAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    dropHighlight_ = value.toDouble();
    update();
  });
  connect(&scroll_, &EasedScroll::finished, this, [this] { followingEnd_ = false; });
  connect(&scroll_, &EasedScroll::valueChanged, this, [this](int value) { scrollBar()->setValue(value); });

  if (services_.defaults && services_.sounds)
    sounds_ = std::make_unique<UploadSoundPlayer>(*services_.defaults, *services_.sounds);

  connect(&selection_, &BarSelection::idsChanged, this, &UploadPanelView::updateSelectionLook);
  connect(&selection_, &BarSelection::anchorChanged, this, &UploadPanelView::revealAnchor);
  connect(&presentation_, &PanelPresentation::edgeChanged, this, &UploadPanelView::applyEdge);
  connect(&store_, &BucketStore::currentChanged, this, &UploadPanelView::followCurrentBucket);
  connect(&store_, &BucketStore::sessionChanged, this, &UploadPanelView::followSession);

  session_ = store_.session();
  finishButton_->setSession(session_);
  if (sounds_) sounds_->setSession(session_);
  applyEdge();
  followCurrentBucket();
}

UploadPanelView::~UploadPanelView() {
  removeKeyMonitor();
}

void UploadPanelView::setPanel(UploadPanel* panel) {
  panel_ = panel;
}

void UploadPanelView::setAnimationScale(double scale) {
  animationScale_ = scale;
  finishButton_->setAnimationScale(scale);
  for (ItemTile* tile : std::as_const(tiles_)) tile->setAnimationScale(scale);
}

std::shared_ptr<UploadSession> UploadPanelView::session() const {
  return store_.session();
}

QList<QUuid> UploadPanelView::order() const {
  QList<QUuid> ids;
  for (const Bucket::ItemPointer& item : store_.current().items()) ids << item->id();
  return ids;
}

QList<ItemTile*> UploadPanelView::tiles() const {
  QList<ItemTile*> ordered;
  ordered.reserve(placed_.size());
  for (const auto& [index, tile] : placed_) ordered << tile;
  return ordered;
}

QRect UploadPanelView::tileRect(qsizetype index) const {
  const int along = int(kStackPadding + index * kTilePitch);
  return presentation_.edge() == PanelEdge::top ? QRect(along, kStackPadding, kTileLength, kTileLength)
                                                : QRect(kStackPadding, along, kTileLength, kTileLength);
}

QScrollBar* UploadPanelView::scrollBar() const {
  return presentation_.edge() == PanelEdge::top ? strip_->horizontalScrollBar() : strip_->verticalScrollBar();
}

// --- Items and session -------------------------------------------------------------------------------

void UploadPanelView::followCurrentBucket() {
  Bucket* bucket = &store_.current();
  if (bucket != bucket_) {
    disconnect(bucketConnection_);
    bucket_ = bucket;
    bucketConnection_ = connect(bucket, &Bucket::itemsChanged, this, &UploadPanelView::itemsChanged);
  }
  syncTiles();
}

void UploadPanelView::itemsChanged() {
  const qsizetype count = store_.current().items().size();
  // Only a removal can leave the selection naming an item that is gone; adding never does.
  if (count < itemCount_ && (!selection_.ids().isEmpty() || selection_.anchor())) pruneSelection();
  itemCount_ = count;
  // A batch adds its items one by one in a single turn of the loop; the tiles follow once for all.
  if (syncPending_) return;
  syncPending_ = true;
  QMetaObject::invokeMethod(this, &UploadPanelView::syncTiles, Qt::QueuedConnection);
}

void UploadPanelView::syncTiles() {
  syncPending_ = false;
  // Read before the strip grows. A follow still on its way counts as the end being in view: tiles
  // arriving one by one must not strand the strip behind the first that overflowed it.
  const bool endInView = !edges_.end || followingEnd_;
  const QList<Bucket::ItemPointer>& items = store_.current().items();
  shownItemCount_ = items.size();
  resizeStack();
  placeTiles();
  updateSelectionLook();
  updateHoveredItem();

  const std::optional<QUuid> last = items.isEmpty() ? std::nullopt : std::optional<QUuid>(items.last()->id());
  const bool lastChanged = last != lastItemID_;
  lastItemID_ = last;
  updateStripLength(true);
  if (lastChanged && last && endInView) scrollToEnd();
}

void UploadPanelView::resizeStack() {
  const qsizetype count = shownItemCount_;
  const int along = int(2 * kStackPadding + (count > 0 ? count * kTilePitch - kTileSpacing : 0));
  const int across = 2 * kStackPadding + (count > 0 ? kTileLength : 0);
  const QSize size = presentation_.edge() == PanelEdge::top ? QSize(along, across) : QSize(across, along);
  if (stack_->size() != size) stack_->setFixedSize(size);
}

void UploadPanelView::placeTiles() {
  // Making and dropping tiles moves nothing the view watches, but a tile's show may still come back here.
  if (placing_) return;
  placing_ = true;
  const QList<Bucket::ItemPointer>& items = store_.current().items();
  const qsizetype count = items.size();
  const bool horizontal = presentation_.edge() == PanelEdge::top;
  // The view over the strip in the stack's coordinates; the stack sits centred while it fits.
  const QRect view = QRect(strip_->viewport()->rect()).translated(-stack_->pos());
  const double from = horizontal ? view.left() : view.top();
  const double to = horizontal ? view.right() + 1 : view.bottom() + 1;
  const qsizetype first = std::clamp<qsizetype>(
      qsizetype(std::floor((from - kStackPadding) / kTilePitch)) - kTilesBeyondView, 0, count);
  const qsizetype end = std::clamp<qsizetype>(
      qsizetype(std::ceil((to - kStackPadding) / kTilePitch)) + kTilesBeyondView, first, count);

  QHash<QUuid, ItemTile*> kept;
  kept.reserve(end - first);
  QList<std::pair<qsizetype, ItemTile*>> placed;
  placed.reserve(end - first);
  for (qsizetype index = first; index < end; ++index) {
    const Bucket::ItemPointer& item = items.at(index);
    ItemTile* tile = tiles_.take(item->id());
    if (!tile) tile = makeTile(item);
    kept.insert(item->id(), tile);
    placed.append({index, tile});
  }
  // A tile whose popover or menu is open stays while its item does, wherever it has scrolled to: closing
  // what the user is reading because the strip moved would lose their place.
  for (ItemTile* gone : std::as_const(tiles_)) {
    const bool open = gone->popover() || gone->findChild<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    const qsizetype index = open ? items.indexOf(gone->item()) : -1;
    if (index < 0) {
      dropTile(gone);
      continue;
    }
    kept.insert(gone->item()->id(), gone);
    placed.insert(std::upper_bound(placed.begin(), placed.end(), index,
                                   [](qsizetype at, const auto& entry) { return at < entry.first; }),
                  {index, gone});
  }
  tiles_ = std::move(kept);
  placed_ = std::move(placed);
  for (const auto& [index, tile] : std::as_const(placed_)) {
    const QRect place = tileRect(index);
    if (tile->geometry() != place) tile->setGeometry(place);
    if (tile->isHidden()) tile->show();
  }
  placing_ = false;
  applyScrollTransitions();
}

void UploadPanelView::dropTile(ItemTile* tile) {
  hoverReports_.remove(tile);
  // The tile may be in the middle of handling an event of its own: it goes once that is over.
  tile->hide();
  tile->deleteLater();
}

void UploadPanelView::stripSettled() {
  placeTiles();
}

ItemTile* UploadPanelView::makeTile(const std::shared_ptr<BucketItem>& item) {
  auto* tile = new ItemTile(item, *services_.clock, *services_.files, stack_);
  tile->setPanelEdge(presentation_.edge());
  tile->setHoverSpace(this);
  attachTileEffects(*tile, *services_.clock);
  const QUuid id = item->id();
  // A tile made as its item scrolls into view shows the item's state at once, without animating to it.
  tile->setAnimationScale(0);
  tile->setSelected(selection_.contains(id));
  tile->setAllowsRemoval(session_ && session_->uploader().allowsRemoval());
  tile->setAnimationScale(animationScale_);
  // Each action reads the session when it runs: the tile outlives the session it was made under.
  connect(tile, &ItemTile::selectRequested, this, [this, id](TileSelection mode) { select(id, mode); });
  connect(tile, &ItemTile::previewRequested, this, [this, id] { preview(id); });
  connect(tile, &ItemTile::removeRequested, this, [this, id] {
    if (const std::shared_ptr<UploadSession> open = session()) open->remove(id);
  });
  connect(tile, &ItemTile::approveRequested, this, [this, id] {
    if (const std::shared_ptr<UploadSession> open = session()) open->approve(id);
  });
  connect(tile, &ItemTile::hoveredItemChanged, this, [this, tile](const std::optional<HoveredItem>& hovered) {
    hoverReports_.insert(tile, hovered);
    updateHoveredItem();
  });
  return tile;
}

void UploadPanelView::followSession() {
  const std::shared_ptr<UploadSession> now = store_.session();
  if (now == session_) return;
  const bool had = session_ != nullptr;
  session_ = now;
  finishButton_->setSession(session_);
  if (sounds_) sounds_->setSession(session_);
  updateAllowsRemoval();
  if (session_ && !had) installKeyMonitor();
  if (!session_ && had) resetAfterSession();
}

void UploadPanelView::updateAllowsRemoval() {
  const bool allowed = session_ && session_->uploader().allowsRemoval();
  for (ItemTile* tile : std::as_const(tiles_)) tile->setAllowsRemoval(allowed);
}

void UploadPanelView::updateSelectionLook() {
  for (auto it = tiles_.cbegin(); it != tiles_.cend(); ++it)
    it.value()->setSelected(selection_.contains(it.key()));
}

void UploadPanelView::updateHoveredItem() {
  std::optional<HoveredItem> shown = HoveredItemKey::defaultValue();
  for (const auto& [index, tile] : std::as_const(placed_)) HoveredItemKey::reduce(shown, hoverReports_.value(tile));
  overlay_->setHoveredItem(shown, presentation_.edge());
  Q_EMIT interactiveRegionChanged();
}

// --- Layout --------------------------------------------------------------------------------------------

void UploadPanelView::applyEdge() {
  for (ItemTile* tile : std::as_const(tiles_)) tile->setPanelEdge(presentation_.edge());
  resizeStack();
  const bool trailing = presentation_.edge() == PanelEdge::right;
  finishButton_->setOffset(QSizeF(trailing ? -kFinishButtonInset : kFinishButtonInset, -kFinishButtonInset));
  updateStripLength(false);
  measureEdges();
  placeTiles();
  updateHoveredItem();
}

void UploadPanelView::updateStripLength(bool animated) {
  const double length = presentation_.edge() == PanelEdge::top ? width() : height();
  const double target = stripLength(tileCapacity(length), shownItemCount_);
  stripLengthAnimation_.stop();
  const int duration = int(kStripSpringMs * animationScale_);
  if (!animated || duration <= 0 || !isVisible() || qFuzzyCompare(target, shownStripLength_)) {
    shownStripLength_ = target;
    layoutBar();
    return;
  }
  stripLengthAnimation_.setDuration(duration);
  stripLengthAnimation_.setStartValue(shownStripLength_);
  stripLengthAnimation_.setEndValue(target);
  stripLengthAnimation_.start();
}

QRect UploadPanelView::barRect() const {
  const QRect room =
      rect().marginsRemoved(QMargins(kOuterPadding, kOuterPadding, kOuterPadding, kOuterPadding));
  const int length = int(std::lround(shownStripLength_));
  const bool horizontal = presentation_.edge() == PanelEdge::top;
  QRect bar(QPoint(0, 0), horizontal ? QSize(length, kBarThickness) : QSize(kBarThickness, length));
  bar.moveCenter(room.center());
  switch (presentation_.edge()) {
    case PanelEdge::left:
      bar.moveLeft(room.left());
      break;
    case PanelEdge::top:
      bar.moveTop(room.top());
      break;
    case PanelEdge::right:
      bar.moveRight(room.right());
      break;
  }
  return bar;
}

void UploadPanelView::layoutBar() {
  const QRect bar = barRect();
  strip_->setGeometry(bar);
  overlay_->setGeometry(rect());
  // The button's circle sits in its shadow margin; the circle, not the widget, meets the bar's corner.
  const int margin = (finishButton_->sizeHint().width() - FinishButton::kDiameter) / 2;
  const bool trailing = presentation_.edge() == PanelEdge::right;
  const QPoint circle(trailing ? bar.left() : bar.right() + 1 - FinishButton::kDiameter, bar.top());
  finishButton_->placeAt(circle - QPoint(margin, margin));
  applyScrollTransitions();
  update();
  Q_EMIT interactiveRegionChanged();
}

QRegion UploadPanelView::interactiveRegion() const {
  QRegion region(barRect());
  if (finishButton_->isVisible()) region += finishButton_->geometry();
  return region;
}

void UploadPanelView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  backdrop_.paint(painter, barRect());
  const QRectF bar = QRectF(barRect());
  if (dropHighlight_ > 0) {
    QPainterPath ring;
    ring.addRoundedRect(bar.adjusted(1.5, 1.5, -1.5, -1.5), kCornerRadius - 1.5, kCornerRadius - 1.5);
    QColor accent = palette().color(QPalette::Highlight);
    accent.setAlphaF(float(dropHighlight_));
    painter.setPen(QPen(accent, 3.0));
    painter.drawPath(ring);
  }
}

void UploadPanelView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  updateStripLength(false);
}

// --- Scrolling ---------------------------------------------------------------------------------------

void UploadPanelView::measureEdges() {
  const QScrollBar* bar = scrollBar();
  const QSize viewport = strip_->viewport()->size();
  const QSize content = stack_->size();
  const QPointF offset =
      presentation_.edge() == PanelEdge::top ? QPointF(bar->value(), 0) : QPointF(0, bar->value());
  const ScrollEdges measured = ScrollEdges::measure({content, viewport, offset}, presentation_.edge());
  fade_->setFade(measured, presentation_.edge());
  if (measured == edges_) return;
  edges_ = measured;
}

void UploadPanelView::applyScrollTransitions() {
  const Qt::Orientation axis = presentation_.edge() == PanelEdge::top ? Qt::Horizontal : Qt::Vertical;
  // The visible part of the strip in the tiles' coordinates; the stack sits centred while it fits.
  const QRectF visible = QRectF(strip_->viewport()->rect()).translated(-QPointF(stack_->pos()));
  for (ItemTile* tile : std::as_const(tiles_))
    tile->setScrollTransition(TileScrollTransition::of(QRectF(tile->geometry()), visible, axis));
}

void UploadPanelView::scrollToEnd() {
  // The scroll bars take the strip's new length with the stack's resize, which a hidden view gets late;
  // follow the end once they have.
  QScrollBar* bar = scrollBar();
  followingEnd_ = true;
  QMetaObject::invokeMethod(
      this,
      [this, bar] {
        animateScroll(bar->maximum(), kFollowEndMs);
        if (!scroll_.isRunning()) followingEnd_ = false;
      },
      Qt::QueuedConnection);
}

void UploadPanelView::animateScroll(int to, int milliseconds) {
  QScrollBar* bar = scrollBar();
  scroll_.stop();
  const int duration = int(milliseconds * animationScale_);
  if (duration <= 0 || !isVisible()) {
    bar->setValue(to);
    return;
  }
  scroll_.start(bar->value(), to, std::chrono::milliseconds(duration));
}

void UploadPanelView::revealAnchor() {
  if (!selection_.anchor()) return;
  const QList<Bucket::ItemPointer>& items = store_.current().items();
  const auto found = std::find_if(items.cbegin(), items.cend(),
                                  [&](const Bucket::ItemPointer& item) { return item->id() == *selection_.anchor(); });
  if (found == items.cend()) return;
  // Just far enough to bring the whole tile into view, whether or not it has a widget yet.
  const bool horizontal = presentation_.edge() == PanelEdge::top;
  const QRect place = tileRect(found - items.cbegin());
  const int start = horizontal ? place.left() : place.top();
  const int end = horizontal ? place.right() + 1 : place.bottom() + 1;
  const int viewLength = horizontal ? strip_->viewport()->width() : strip_->viewport()->height();
  QScrollBar* bar = scrollBar();
  // Keys pressed in quick succession each go on from where the glide under way is heading.
  int to = scroll_.isRunning() ? scroll_.target() : bar->value();
  if (start < to)
    to = start;
  else if (end > to + viewLength)
    to = end - viewLength;
  // The user's choice wins over a follow of new tiles still on its way; it glides as that follow does.
  followingEnd_ = false;
  animateScroll(std::clamp(to, bar->minimum(), bar->maximum()), kRevealAnchorMs);
}

// --- Drops -------------------------------------------------------------------------------------------

bool UploadPanelView::handleDrop(const QList<QUrl>& urls) {
  const QStringList paths = localPaths(urls);
  if (paths.isEmpty()) return false;
  // Without a session there is nowhere for the files to go: refusing lets the drag snap back instead of
  // the files silently vanishing.
  const std::shared_ptr<UploadSession> open = session();
  if (!open) return false;
  open->enqueue(paths);
  return true;
}

void UploadPanelView::setDropTarget(bool target) {
  if (target == isDropTarget_) return;
  isDropTarget_ = target;
  dropHighlightAnimation_.stop();
  const int duration = int(kDropHighlightMs * animationScale_);
  if (duration <= 0) {
    dropHighlight_ = target ? 1 : 0;
    update();
    return;
  }
  dropHighlightAnimation_.setDuration(duration);
  dropHighlightAnimation_.setStartValue(dropHighlight_);
  dropHighlightAnimation_.setEndValue(target ? 1.0 : 0.0);
  dropHighlightAnimation_.start();
}

void UploadPanelView::dragEnterEvent(QDragEnterEvent* event) {
  const bool acceptable = event->mimeData()->hasUrls() && barRect().contains(event->position().toPoint());
  // Entering anywhere in the panel keeps the drag coming so it can still reach the bar.
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
  setDropTarget(acceptable);
}

void UploadPanelView::dragMoveEvent(QDragMoveEvent* event) {
  const bool overBar = event->mimeData()->hasUrls() && barRect().contains(event->position().toPoint());
  setDropTarget(overBar);
  if (overBar)
    event->acceptProposedAction();
  else
    event->ignore();
}

void UploadPanelView::dragLeaveEvent(QDragLeaveEvent*) {
  setDropTarget(false);
}

void UploadPanelView::dropEvent(QDropEvent* event) {
  setDropTarget(false);
  if (barRect().contains(event->position().toPoint()) && handleDrop(event->mimeData()->urls()))
    event->acceptProposedAction();
  else
    event->ignore();
}

// --- Selection and keys ------------------------------------------------------------------------------

void UploadPanelView::select(const QUuid& itemID, TileSelection mode) {
  // Keys reach the bar only while its window is active, so a click brings it forward.
  if (panel_ && panel_->window() && panel_->window()->isVisible()) panel_->window()->makeKey();
  selection_.click(itemID, mode, order());
}

void UploadPanelView::preview(const QUuid& itemID) {
  if (!services_.preview) return;
  const Bucket::ItemPointer item = store_.current().item(itemID);
  if (!item) return;
  QStringList among;
  for (const Bucket::ItemPointer& each : store_.current().items()) among << each->url();
  services_.preview->show(item->url(), among);
}

void UploadPanelView::previewSelection() {
  if (const std::optional<QUuid> first = selection_.firstSelected(order())) preview(*first);
}

void UploadPanelView::removeSelection() {
  if (!store_.session() || !store_.session()->uploader().allowsRemoval()) return;
  const QList<Bucket::ItemPointer> snapshot = store_.current().items();
  for (const Bucket::ItemPointer& item : snapshot) {
    const std::shared_ptr<UploadSession> open = store_.session();
    if (!open) break;
    if (selection_.contains(item->id())) open->remove(item->id());
  }
  selection_.clear();
}

void UploadPanelView::moveSelection(int delta, bool extending) {
  selection_.move(delta, extending, order());
}

void UploadPanelView::pruneSelection() {
  selection_.prune(order());
}

bool UploadPanelView::handleKeyDown(QKeyEvent& event, QObject* receiver) {
  QWidget* panelWindow = window();
  const bool ours = receiver == panelWindow->windowHandle() ||
                    (receiver->isWidgetType() && static_cast<QWidget*>(receiver)->window() == panelWindow);
  if (!ours || QApplication::activeWindow() != panelWindow) return false;
  const bool extending = event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
  switch (event.key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
      moveSelection(-1, extending);
      return true;
    case Qt::Key_Right:
    case Qt::Key_Down:
      moveSelection(1, extending);
      return true;
    case Qt::Key_Space:
      if (selection_.ids().isEmpty()) return false;
      previewSelection();
      return true;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
      if (selection_.ids().isEmpty()) return false;
      removeSelection();
      return true;
    default:
      return false;
  }
}

bool UploadPanelView::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((watched == stack_ || watched == strip_->viewport()) &&
      (type == QEvent::Resize || type == QEvent::Move || type == QEvent::Show))
    stripSettled();
  // Only a shown bar has a mask to keep: while the window hides or goes, its mask is left alone.
  if (watched == finishButton_ && isVisible() &&
      (event->type() == QEvent::Show || event->type() == QEvent::Hide || event->type() == QEvent::Move))
    Q_EMIT interactiveRegionChanged();
  if (watched == finishButton_) return false;
  if (keyMonitor_ && event->type() == QEvent::KeyPress)
    return handleKeyDown(*static_cast<QKeyEvent*>(event), watched);
  return QWidget::eventFilter(watched, event);
}

void UploadPanelView::installKeyMonitor() {
  if (keyMonitor_ || !qApp) return;
  qApp->installEventFilter(this);
  keyMonitor_ = true;
}

void UploadPanelView::removeKeyMonitor() {
  if (!keyMonitor_) return;
  if (qApp) qApp->removeEventFilter(this);
  keyMonitor_ = false;
}

void UploadPanelView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  installKeyMonitor();
  stripSettled();
}

void UploadPanelView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  removeKeyMonitor();
}

void UploadPanelView::resetAfterSession() {
  selection_.clear();
  removeKeyMonitor();
  if (!panel_) return;
  panel_->removeMonitors();
  if (panel_->window() && panel_->window()->isVisible()) {
    QPointer<UploadPanel> panel = panel_;
    panel_->slideOut([panel] {
      if (panel) panel->orderOut();
    });
  }
}

// --- Finishing ---------------------------------------------------------------------------------------

QCoro::Task<> UploadPanelView::finish() {
  const std::shared_ptr<UploadSession> open = store_.session();
  if (!open) co_return;
  QPointer<UploadPanelView> self(this);
  const std::optional<ResponseItem> result = co_await open->finish();
  if (!self || !result) co_return;
  shareFinishedBucket(*result, *QGuiApplication::clipboard(), services_.notifications);
}

}  // namespace pm
