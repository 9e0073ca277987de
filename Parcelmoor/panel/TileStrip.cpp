#include "panel/TileStrip.h"

#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QCoreApplication>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "panel/BarMetrics.h"
#include "panel/BarSelection.h"
#include "panel/ItemTile.h"
#include "panel/TileEffects.h"
#include "upload/BucketStore.h"
#include "upload/BucketUploader.h"
#include "upload/UploadSession.h"

namespace pm {

TileStrip::TileStrip(BucketStore& store, const BarSelection& selection, const Clock& clock,
                     const MonotonicClock& steadyClock, FileViewer& files, QWidget* hoverSpace, QWidget* parent)
    : QScrollArea(parent),
      store_(store),
      selection_(selection),
      clock_(clock),
      steadyClock_(steadyClock),
      files_(files),
      hoverSpace_(hoverSpace),
      stack_(new QWidget) {
  stack_->setFixedSize(BarMetrics::kStackPadding * 2, BarMetrics::kStackPadding * 2);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWidget(stack_);
  setAlignment(Qt::AlignCenter);
  // The bar shows through the strip. Transparent by attribute, not by a style sheet: a sheet over the strip
  // would restyle every tile and button made as it scrolls into view, at a cost of milliseconds each.
  // The scroll area fills what it is given, so the stack is made see-through after it is set.
  stack_->setAutoFillBackground(false);
  viewport()->setAutoFillBackground(false);
  // Which items have a tile, and each tile's phase, depend on where the view is over the strip: that
  // settles on the scroll bars' signals and also after them (a resize or move of the stack or the view,
  // a show), so tiles are placed after all of those.
  stack_->installEventFilter(this);
  viewport()->installEventFilter(this);
  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
    connect(bar, &QScrollBar::valueChanged, this, &TileStrip::placeTiles);
    connect(bar, &QScrollBar::rangeChanged, this, &TileStrip::placeTiles);
  }
}

void TileStrip::setPanelEdge(PanelEdge edge) {
  edge_ = edge;
  for (ItemTile* tile : std::as_const(tiles_)) tile->setPanelEdge(edge);
  resizeStack();
}

void TileStrip::setAnimationScale(double scale) {
  animationScale_ = scale;
  for (ItemTile* tile : std::as_const(tiles_)) tile->setAnimationScale(scale);
}

void TileStrip::setAllowsRemoval(bool allowed) {
  for (ItemTile* tile : std::as_const(tiles_)) tile->setAllowsRemoval(allowed);
}

QList<ItemTile*> TileStrip::tiles() const {
  QList<ItemTile*> ordered;
  ordered.reserve(placed_.size());
  for (const auto& [index, tile] : placed_) ordered << tile;
  return ordered;
}

QRect TileStrip::tileRect(qsizetype index) const {
  return BarMetrics::tileRect(index, edge_);
}

QScrollBar* TileStrip::scrollBar() const {
  return edge_ == PanelEdge::top ? horizontalScrollBar() : verticalScrollBar();
}

void TileStrip::syncItems() {
  itemCount_ = store_.current().items().size();
  resizeStack();
  placeTiles();
}

void TileStrip::resizeStack() {
  constexpr int padding = BarMetrics::kStackPadding;
  const qsizetype count = itemCount_;
  const int along = int(2 * padding + (count > 0 ? count * BarMetrics::kTilePitch - BarMetrics::kTileSpacing : 0));
  const int across = 2 * padding + (count > 0 ? BarMetrics::kTileLength : 0);
  const QSize size = edge_ == PanelEdge::top ? QSize(along, across) : QSize(across, along);
  if (stack_->size() != size) stack_->setFixedSize(size);
}

void TileStrip::placeTiles() {
  // Making and dropping tiles moves nothing the strip watches, but a tile's show may still come back here.
  if (placing_) return;
  placing_ = true;
  const QList<Bucket::ItemPointer>& items = store_.current().items();
  const qsizetype count = items.size();
  const bool horizontal = edge_ == PanelEdge::top;
  // The view over the strip in the stack's coordinates; the stack sits centred while it fits.
  const QRect view = QRect(viewport()->rect()).translated(-stack_->pos());
  const double from = horizontal ? view.left() : view.top();
  const double to = horizontal ? view.right() + 1 : view.bottom() + 1;
  constexpr double pitch = BarMetrics::kTilePitch;
  const qsizetype first = std::clamp<qsizetype>(
      qsizetype(std::floor((from - BarMetrics::kStackPadding) / pitch)) - BarMetrics::kTilesBeyondView, 0, count);
  const qsizetype end = std::clamp<qsizetype>(
      qsizetype(std::ceil((to - BarMetrics::kStackPadding) / pitch)) + BarMetrics::kTilesBeyondView, first, count);

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
  hoverTileUnderPointer();
}

void TileStrip::hoverTileUnderPointer() {
  // Everything that moves the tiles under the pointer (a scroll, the stack growing or centring) ends in
  // placing them; enter and leave events come only when the pointer itself moves.
  const bool overStrip = viewport()->underMouse();
  if (!overStrip && std::none_of(tiles_.cbegin(), tiles_.cend(), [](const ItemTile* tile) { return tile->isHovering(); }))
    return;
  ItemTile* under = nullptr;
  if (overStrip) {
    // From the window down, as Qt finds the widget for a pointer event: whatever floats over the strip
    // (the finish button) takes the pointer before the tile below it.
    QWidget* top = window();
    for (QWidget* widget = top->childAt(top->mapFromGlobal(QCursor::pos())); widget; widget = widget->parentWidget()) {
      if (auto* tile = qobject_cast<ItemTile*>(widget)) {
        if (tile->parentWidget() == stack_) under = tile;
        break;
      }
    }
  }
  for (ItemTile* tile : std::as_const(tiles_)) tile->setPointerOver(tile == under);
}

void TileStrip::applyScrollTransitions() {
  const Qt::Orientation axis = edge_ == PanelEdge::top ? Qt::Horizontal : Qt::Vertical;
  // The visible part of the strip in the tiles' coordinates; the stack sits centred while it fits.
  const QRectF visible = QRectF(viewport()->rect()).translated(-QPointF(stack_->pos()));
  for (ItemTile* tile : std::as_const(tiles_))
    tile->setScrollTransition(TileScrollTransition::of(QRectF(tile->geometry()), visible, axis));
}

void TileStrip::updateSelectionLook() {
  for (auto it = tiles_.cbegin(); it != tiles_.cend(); ++it) it.value()->setSelected(selection_.contains(it.key()));
}

ItemTile* TileStrip::makeTile(const std::shared_ptr<BucketItem>& item) {
  auto* tile = new ItemTile(item, clock_, steadyClock_, files_, stack_);
  tile->setPanelEdge(edge_);
  tile->setHoverSpace(hoverSpace_);
  attachTileEffects(*tile, clock_, steadyClock_);
  // A tile made as its item scrolls into view shows the item's state at once, without animating to it.
  tile->setAnimationScale(0);
  tile->setSelected(selection_.contains(item->id()));
  const std::shared_ptr<UploadSession> open = store_.session();
  tile->setAllowsRemoval(open && open->uploader().allowsRemoval());
  tile->setAnimationScale(animationScale_);
  Q_EMIT tileMade(tile);
  return tile;
}

void TileStrip::dropTile(ItemTile* tile) {
  Q_EMIT tileDropped(tile);
  // The tile may be in the middle of handling an event of its own: it goes once that is over.
  tile->hide();
  tile->deleteLater();
}

void TileStrip::wheelEvent(QWheelEvent* event) {
  // Most wheels turn one way only: their steps scroll a strip lying along the top of the screen too, as a
  // scroll area would send them to the vertical scroll bar, which has nowhere to go there.
  const QPoint delta = event->angleDelta();
  if (edge_ == PanelEdge::top && std::abs(delta.y()) > std::abs(delta.x())) {
    QCoreApplication::sendEvent(horizontalScrollBar(), event);
    return;
  }
  QScrollArea::wheelEvent(event);
}

bool TileStrip::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((watched == stack_ || watched == viewport()) &&
      (type == QEvent::Resize || type == QEvent::Move || type == QEvent::Show))
    placeTiles();
  return QScrollArea::eventFilter(watched, event);
}

}  // namespace pm
