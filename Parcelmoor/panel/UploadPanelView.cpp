#include "UploadPanelView.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScrollBar>
#include <QWindow>

#include "panel/FinishButton.h"
#include "panel/FinishedBucketShare.h"
#include "panel/HoveredItemOverlay.h"
#include "panel/ItemTile.h"
#include "panel/PanelPresentation.h"
#include "panel/PreviewWindow.h"
#include "panel/QuickLookPreview.h"
#include "panel/UnconstrainedPanel.h"
#include "panel/UploadPanel.h"
#include "panel/UploadSoundPlayer.h"
#include "upload/BucketStore.h"
#include "upload/BucketUploader.h"
#include "upload/UploadSession.h"

namespace pm {

namespace {

// The bar is dark in every desktop theme: light text, the accent for selection and drops.
QPalette barPalette(QPalette palette) {
  palette.setColor(QPalette::Window, QColor(0x26, 0x26, 0x28));
  palette.setColor(QPalette::WindowText, Qt::white);
  palette.setColor(QPalette::Text, Qt::white);
  palette.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
  return palette;
}

// The services with the system's own clocks and file viewer where the caller gave none.
BarServices withFallbacks(BarServices services, const Clock& clock, const MonotonicClock& steadyClock,
                          FileViewer& files) {
  if (!services.clock) services.clock = &clock;
  if (!services.steadyClock) services.steadyClock = &steadyClock;
  if (!services.files) services.files = &files;
  return services;
}

}  // namespace

UploadPanelView::UploadPanelView(BucketStore& store, PanelPresentation& presentation, BarServices services,
                                 QWidget* parent)
    : QWidget(parent),
      store_(store),
      presentation_(presentation),
      services_(withFallbacks(services, systemClock_, steadyClock_, desktopFiles_)),
      strip_(new TileStrip(store, selection_, *services_.clock, *services_.steadyClock, *services_.files, this, this)),
      finishButton_(new FinishButton([this] { return finish(); }, this)),
      overlay_(new HoveredItemOverlay(this)),
      frame_(*this, presentation),
      drops_(*this, frame_, store),
      keys_(*this),
      scroll_(*strip_, *services_.steadyClock),
      hover_(*strip_, *overlay_) {
  setPalette(barPalette(palette()));

  overlay_->setAttribute(Qt::WA_TransparentForMouseEvents);
  overlay_->raise();
  finishButton_->raise();
  // The button shows and hides itself as the session changes; the window's input mask must follow.
  finishButton_->installEventFilter(this);

  connect(&frame_, &BarFrame::moved, this, &UploadPanelView::layoutBar);
  connect(&frame_, &BarFrame::settled, strip_, &TileStrip::placeTiles);
  connect(strip_, &TileStrip::tileMade, this, &UploadPanelView::connectTile);
  connect(&hover_, &StripHover::labelChanged, this, &UploadPanelView::interactiveRegionChanged);

  if (services_.defaults && services_.sounds)
    sounds_ = std::make_unique<UploadSoundPlayer>(*services_.defaults, *services_.sounds);

  connect(&selection_, &BarSelection::idsChanged, strip_, &TileStrip::updateSelectionLook);
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
  keys_.removeMonitor();
}

void UploadPanelView::setPanel(UploadPanel* panel) {
  panel_ = panel;
}

void UploadPanelView::setAnimationScale(double scale) {
  frame_.setAnimationScale(scale);
  drops_.setAnimationScale(scale);
  scroll_.setAnimationScale(scale);
  finishButton_->setAnimationScale(scale);
  strip_->setAnimationScale(scale);
}

std::shared_ptr<UploadSession> UploadPanelView::session() const {
  return store_.session();
}

QList<QUuid> UploadPanelView::order() const {
  QList<QUuid> ids;
  for (const Bucket::ItemPointer& item : store_.current().items()) ids << item->id();
  return ids;
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
  const bool endInView = !scroll_.edges().end || scroll_.isFollowingEnd();
  const QList<Bucket::ItemPointer>& items = store_.current().items();
  strip_->syncItems();
  strip_->updateSelectionLook();
  hover_.update();

  const std::optional<QUuid> last = items.isEmpty() ? std::nullopt : std::optional<QUuid>(items.last()->id());
  const bool lastChanged = last != lastItemID_;
  lastItemID_ = last;
  frame_.fit(strip_->itemCount(), true);
  if (lastChanged && last && endInView) scroll_.followEnd();
}

void UploadPanelView::connectTile(ItemTile* tile) {
  const QUuid id = tile->item()->id();
  // Each action reads the session when it runs: the tile outlives the session it was made under.
  connect(tile, &ItemTile::selectRequested, this, [this, id](TileSelection mode) { select(id, mode); });
  connect(tile, &ItemTile::previewRequested, this, [this, id] { preview(id); });
  connect(tile, &ItemTile::removeRequested, this, [this, id] {
    if (const std::shared_ptr<UploadSession> open = session()) open->remove(id);
  });
  connect(tile, &ItemTile::approveRequested, this, [this, id] {
    if (const std::shared_ptr<UploadSession> open = session()) open->approve(id);
  });
}

void UploadPanelView::followSession() {
  const std::shared_ptr<UploadSession> now = store_.session();
  if (now == session_) return;
  const bool had = session_ != nullptr;
  session_ = now;
  finishButton_->setSession(session_);
  if (sounds_) sounds_->setSession(session_);
  strip_->setAllowsRemoval(session_ && session_->uploader().allowsRemoval());
  if (session_ && !had) keys_.installMonitor();
  if (!session_ && had) resetAfterSession();
}

void UploadPanelView::resetAfterSession() {
  selection_.clear();
  keys_.removeMonitor();
  if (!panel_) return;
  panel_->removeMonitors();
  if (panel_->window() && panel_->window()->isVisible()) {
    QPointer<UploadPanel> panel = panel_;
    panel_->slideOut([panel] {
      if (panel) panel->orderOut();
    });
  }
}

// --- Layout --------------------------------------------------------------------------------------------

void UploadPanelView::applyEdge() {
  const PanelEdge edge = presentation_.edge();
  strip_->setPanelEdge(edge);
  const bool trailing = edge == PanelEdge::right;
  const double inset = BarMetrics::kFinishButtonInset;
  finishButton_->setOffset(QSizeF(trailing ? -inset : inset, -inset));
  frame_.fit(strip_->itemCount(), false);
  scroll_.setPanelEdge(edge);
  strip_->placeTiles();
  hover_.update();
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
  strip_->applyScrollTransitions();
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
  frame_.paint(painter);
  drops_.paint(painter);
}

void UploadPanelView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  frame_.fit(strip_->itemCount(), false);
}

bool UploadPanelView::eventFilter(QObject* watched, QEvent* event) {
  // Only a shown bar has a mask to keep: while the window hides or goes, its mask is left alone.
  const QEvent::Type type = event->type();
  if (watched == finishButton_ && isVisible() &&
      (type == QEvent::Show || type == QEvent::Hide || type == QEvent::Move))
    Q_EMIT interactiveRegionChanged();
  return QWidget::eventFilter(watched, event);
}

void UploadPanelView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  keys_.installMonitor();
  strip_->placeTiles();
}

void UploadPanelView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  keys_.removeMonitor();
}

// --- Selection -----------------------------------------------------------------------------------------

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

void UploadPanelView::revealAnchor() {
  if (!selection_.anchor()) return;
  const QList<Bucket::ItemPointer>& items = store_.current().items();
  const auto found = std::find_if(items.cbegin(), items.cend(),
                                  [&](const Bucket::ItemPointer& item) { return item->id() == *selection_.anchor(); });
  if (found == items.cend()) return;
  // Just far enough to bring the whole tile into view, whether or not it has a widget yet.
  const QRect place = strip_->tileRect(found - items.cbegin());
  const bool horizontal = presentation_.edge() == PanelEdge::top;
  scroll_.reveal(horizontal ? place.left() : place.top(), horizontal ? place.right() + 1 : place.bottom() + 1);
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
