#include "panel/ItemTile.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleHints>

#include <cmath>
#include <utility>

#include "panel/FileViewer.h"
#include "panel/FrameTicks.h"
#include "panel/ItemThumbnail.h"
#include "panel/PopoverWindow.h"
#include "panel/SensitiveFilePopover.h"
#include "panel/ThumbnailLoader.h"
#include "panel/TileBadgeButton.h"
#include "panel/TileRemoveButton.h"
#include "panel/UploadErrorPopover.h"
#include "platform/Async.h"
#include "platform/Clock.h"
#include "platform/Log.h"

namespace pm {

namespace {

constexpr int kHoverMs = 150;
constexpr int kSelectionMs = 120;
constexpr int kSettledMs = 250;
constexpr int kBrightnessMs = 450;
constexpr std::chrono::milliseconds kRippleFade{450};
constexpr double kInFlightDarkness = 0.18;
constexpr double kDimming = 0.45;
// The bar is dark in every desktop theme, so the hover ring is light whatever the palette says.
const QColor kHoverRingColour(Qt::white);

QPainterPath roundedTile(const QRectF& rect, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

// A ring drawn inside the tile's border, as a stroke of the tile's shape inset by half its width.
void strokeInside(QPainter& painter, const QRectF& tile, const QColor& colour, qreal width, double opacity) {
  if (opacity <= 0) return;
  painter.save();
  painter.setOpacity(opacity);
  painter.setPen(QPen(colour, width));
  painter.setBrush(Qt::NoBrush);
  const qreal inset = width / 2;
  painter.drawPath(roundedTile(tile.adjusted(inset, inset, -inset, -inset), ItemTile::kCornerRadius - inset));
  painter.restore();
}

}  // namespace

ItemTile::ItemTile(Bucket::ItemPointer item, const Clock& clock, const MonotonicClock& steadyClock, FileViewer& files,
                   QWidget* parent)
    : QWidget(parent),
      item_(std::move(item)),
      itemNotifier_(item_->notifier()),
      clock_(clock),
      steadyClock_(steadyClock),
      files_(files),
      darkness_(0, this),
      selectionRing_(0, this),
      hoverRing_(0, this),
      attention_(0, this),
      badge_(new TileBadgeButton(this)),
      remove_(new TileRemoveButton(this)) {
  setFixedSize(kSide, kSide);
  setAttribute(Qt::WA_Hover);
  setAccessibleName(item_->name());

  badge_->move((kSide - badge_->width()) / 2, (kSide - badge_->height()) / 2);
  badge_->hide();
  remove_->move(kSide - TileRemoveButton::kSide, 0);
  connect(badge_, &QAbstractButton::clicked, this, &ItemTile::openBadgePopover);
  connect(remove_, &QAbstractButton::clicked, this, &ItemTile::removeRequested);

  settleTimer_.setSingleShot(true);
  connect(&settleTimer_, &QTimer::timeout, this, [this] {
    // The reveal that began when the item arrived has run its course by now.
    if (thumbnail_) revealed_ = true;
    refresh();
  });

  connect(itemNotifier_.get(), &BucketItemNotifier::stateChanged, this, &ItemTile::refresh);
  connect(itemNotifier_.get(), &BucketItemNotifier::errorsChanged, this, &ItemTile::refresh);
  connect(itemNotifier_.get(), &BucketItemNotifier::consentedChanged, this, &ItemTile::refresh);

  // A picture loaded before (by an earlier tile of the same file) shows on the first frame.
  thumbnail_ = cachedThumbnail(item_->url());
  status_ = tileStatus(*item_, revealed_, clock_.now());
  // A tile made for an item at rest has no ripple fading out to show.
  rippleChangedAt_ = steadyClock_.steadyNow() - (status_.isActive ? std::chrono::milliseconds(0) : kRippleFade);
  darkness_.animateTo(status_.isFinished ? 0 : kInFlightDarkness, std::chrono::milliseconds(0));
  // A tile appears as it is; only later changes animate.
  const double scale = std::exchange(animationScale_, 0.0);
  refresh();
  animationScale_ = scale;
  startThumbnailLoad();
}

ItemTile::~ItemTile() {
  thumbnailLoad_->cancel();
}

std::chrono::milliseconds ItemTile::scaled(int milliseconds) const {
  return std::chrono::milliseconds(std::llround(milliseconds * animationScale_));
}

void ItemTile::setSelected(bool selected) {
  if (selected == selected_) return;
  selected_ = selected;
  refresh();
}

void ItemTile::setAllowsRemoval(bool allowed) {
  if (allowed == allowsRemoval_) return;
  allowsRemoval_ = allowed;
  refresh();
}

void ItemTile::setHoverSpace(QWidget* space) {
  hoverSpace_ = space;
  updateHoverReport();
}

bool ItemTile::isRevealing() const {
  return thumbnail_ && !revealed_ && item_->addedAt().msecsTo(clock_.now()) < kTileRevealDuration.count();
}

void ItemTile::setRevealPainter(RevealPainter painter) {
  revealPainter_ = std::move(painter);
  updateFrames();
}

void ItemTile::setRipplePainter(RipplePainter painter) {
  ripplePainter_ = std::move(painter);
  updateFrames();
}

void ItemTile::markRevealed() {
  if (revealed_) return;
  revealed_ = true;
  refresh();
}

void ItemTile::refresh() {
  const TileStatus previous = status_;
  status_ = tileStatus(*item_, revealed_, clock_.now());

  if (status_.isFinished != previous.isFinished) {
    darkness_.animateTo(status_.isFinished ? 0 : kInFlightDarkness, scaled(kBrightnessMs));
  }
  selectionRing_.animateTo(selected_ ? 1 : 0, scaled(kSelectionMs));
  const bool settledChanged = status_.settled != previous.settled;
  const auto overlayTime = scaled(settledChanged ? kSettledMs : kHoverMs);
  hoverRing_.animateTo(hovering_ && allowsRemoval_ && status_.settled && !selected_ ? 1 : 0, overlayTime);
  attention_.animateTo(status_.settled && status_.needsAttention ? 1 : 0, scaled(kSettledMs));

  badge_->setKind(status_.settled ? status_.badge : TileBadge::none);
  badge_->setVisible(badge_->kind() != TileBadge::none);
  remove_->setHoverDuration(scaled(120));
  remove_->setShown(hovering_ && allowsRemoval_ && status_.settled, overlayTime);

  if (status_.isActive != previous.isActive) {
    rippleChangedAt_ = steadyClock_.steadyNow();
    Q_EMIT rippleActiveChanged(status_.isActive);
  }
  scheduleSettling();
  updateHoverReport();
  updateFrames();
  update();
}

void ItemTile::scheduleSettling() {
  if (status_.settled) {
    settleTimer_.stop();
    return;
  }
  const qint64 remaining = kTileRevealDuration.count() - item_->addedAt().msecsTo(clock_.now());
  if (!settleTimer_.isActive()) settleTimer_.start(int(std::max<qint64>(remaining, 0)) + 1);
}

void ItemTile::updateHoverReport() {
  std::optional<HoveredItem> report;
  if (hovering_ && status_.settled) {
    QWidget* space = hoverSpace_ ? hoverSpace_.data() : parentWidget();
    const QPointF centre = QRectF(rect()).center();
    const QPointF mid = space && space != this ? QPointF(mapTo(space, QPoint(0, 0))) + centre : centre;
    report = HoveredItem{item_->name(), status_.hoverProgress, mid.x(), mid.y()};
  }
  if (report == hovered_) return;
  hovered_ = report;
  Q_EMIT hoveredItemChanged(hovered_);
}

bool ItemTile::isRippling() const {
  return ripplePainter_ && (status_.isActive || steadyClock_.steadyNow() - rippleChangedAt_ < kRippleFade);
}

void ItemTile::updateFrames() {
  const bool running = (revealPainter_ && isRevealing()) || isRippling();
  if (running && !frames_) {
    frames_ = connect(&FrameTicks::tiles(), &FrameTicks::tick, this, [this] {
      update();
      updateFrames();
    });
  }
  if (!running && frames_) {
    disconnect(frames_);
    frames_ = {};
  }
}

void ItemTile::startThumbnailLoad() {
  auto load = [](QPointer<ItemTile> tile, QString url, CancelTokenPtr cancel) -> QCoro::Task<> {
    LoadedThumbnail loaded = co_await loadThumbnail(url, kSide, cancel);
    if (tile) tile->setThumbnail(std::move(loaded));
  };
  QCoro::Task<> task = load(QPointer<ItemTile>(this), item_->url(), thumbnailLoad_);
  detachTask(std::move(task), lcApp, "loading a tile's thumbnail");
}

const QImage& ItemTile::contentPicture() {
  const qreal ratio = devicePixelRatioF();
  if (content_.isNull() || content_.devicePixelRatio() != ratio) {
    // Scaling the thumbnail into the square is the costly part of a paint; it changes only with the picture.
    content_ = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    content_.setDevicePixelRatio(ratio);
    content_.fill(Qt::transparent);
    QPainter painter(&content_);
    painter.setRenderHint(QPainter::Antialiasing);
    drawItemThumbnail(painter, QRectF(rect()), *thumbnail_, palette());
    // Cut to the tile's shape with smooth corners (a clip path would leave them jagged): a mask of the
    // shape over the whole square keeps what lies inside and clears the corners.
    QImage shape(content_.size(), QImage::Format_ARGB32_Premultiplied);
    shape.setDevicePixelRatio(ratio);
    shape.fill(Qt::transparent);
    QPainter shapePainter(&shape);
    shapePainter.setRenderHint(QPainter::Antialiasing);
    shapePainter.fillPath(roundedTile(QRectF(rect()), kCornerRadius), Qt::black);
    shapePainter.end();
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(0, 0, shape);
  }
  return content_;
}

void ItemTile::setThumbnail(LoadedThumbnail thumbnail) {
  thumbnail_ = std::move(thumbnail);
  content_ = QImage();
  updateFrames();
  update();
}

void ItemTile::handleClick(int clickCount, Qt::KeyboardModifiers modifiers) {
  if (const std::optional<TileSelection> selection = selectionForClick(clickCount, modifiers)) {
    Q_EMIT selectRequested(*selection);
  } else {
    Q_EMIT previewRequested();
  }
}

void ItemTile::mousePressEvent(QMouseEvent* event) { press(event); }

void ItemTile::mouseDoubleClickEvent(QMouseEvent* event) { press(event); }

void ItemTile::press(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const auto interval = qulonglong(QGuiApplication::styleHints()->mouseDoubleClickInterval());
  const bool continues = lastClickCount_ > 0 && event->timestamp() - lastPressTime_ <= interval &&
                         (event->position() - lastPressPosition_).manhattanLength() <=
                             QGuiApplication::styleHints()->mouseDoubleClickDistance();
  lastClickCount_ = continues ? lastClickCount_ + 1 : 1;
  lastPressTime_ = event->timestamp();
  lastPressPosition_ = event->position();
  event->accept();
  handleClick(lastClickCount_, event->modifiers());
}

void ItemTile::enterEvent(QEnterEvent* event) {
  setPointerOver(true);
  QWidget::enterEvent(event);
}

void ItemTile::leaveEvent(QEvent* event) {
  setPointerOver(false);
  QWidget::leaveEvent(event);
}

void ItemTile::setPointerOver(bool over) {
  if (over == hovering_) {
    updateHoverReport();
    return;
  }
  hovering_ = over;
  refresh();
}

void ItemTile::changeEvent(QEvent* event) {
  // An icon sits on the palette's base colour, so the kept content follows palette changes.
  if (event->type() == QEvent::PaletteChange) content_ = QImage();
  QWidget::changeEvent(event);
}

void ItemTile::setScrollTransition(const TileScrollTransition& transition) {
  // A tile in full view looks the same along either axis: no repaint for that.
  const bool unchanged =
      transition == scrollTransition_ || (transition.isIdentity() && scrollTransition_.isIdentity());
  scrollTransition_ = transition;
  if (!unchanged) update();
}

void ItemTile::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  updateHoverReport();
}

QMenu* ItemTile::makeContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  const Bucket::ItemPointer item = item_;
  QPointer<ItemTile> self(this);
  FileViewer* files = &files_;
  menu->addAction(tr("Open"), menu, [files, item] { files->open(item->url()); });
  menu->addAction(tr("Preview"), menu, [self] {
    if (self) Q_EMIT self->previewRequested();
  });
  menu->addAction(tr("Show in Folder"), menu, [files, item] { files->showInFolder(item->url()); });
  menu->addSeparator();
  menu->addAction(tr("Copy Path"), menu, [item] {
    QGuiApplication::clipboard()->setText(QDir::toNativeSeparators(item->url()));
  });
  if (allowsRemoval_) {
    menu->addSeparator();
    menu->addAction(tr("Remove from Bucket"), menu, [self] {
      if (self) Q_EMIT self->removeRequested();
    });
  }
  return menu;
}

void ItemTile::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = makeContextMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
  event->accept();
}

void ItemTile::openBadgePopover() {
  if (popover_) popover_->close();
  if (status_.badge == TileBadge::sensitive) {
    auto* content = new SensitiveFilePopover(*item_);
    connect(content, &SensitiveFilePopover::uploadRequested, this, [this] {
      if (popover_) popover_->close();
      Q_EMIT approveRequested();
    });
    connect(content, &SensitiveFilePopover::removeRequested, this, [this] {
      if (popover_) popover_->close();
      Q_EMIT removeRequested();
    });
    showingSensitive_ = true;
    showPopover(content);
  } else if (status_.badge == TileBadge::errors) {
    showingErrors_ = true;
    showPopover(new UploadErrorPopover(item_));
  }
}

void ItemTile::showPopover(QWidget* content) {
  popover_ = new PopoverWindow(content, edge_, this);
  connect(popover_, &PopoverWindow::closed, this, [this] {
    showingErrors_ = false;
    showingSensitive_ = false;
  });
  popover_->showBeside(QRect(badge_->mapToGlobal(QPoint(0, 0)), badge_->size()));
}

void ItemTile::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF tile = rect();
  const QPainterPath shape = roundedTile(tile, kCornerRadius);
  // Everything below, the effects included, shrinks and fades together as the tile scrolls away.
  if (!scrollTransition_.isIdentity()) {
    painter.setTransform(scrollTransition_.transform(tile.size()));
    painter.setOpacity(scrollTransition_.opacity());
  }

  // The kept content is already cut to the tile's shape, and so are the ripple's rings; clipping is only
  // needed for the reveal. A rounded clip costs more than the rest of the tile's paint: it is set only
  // while the reveal draws.
  const bool revealing = thumbnail_ && revealPainter_ && isRevealing();
  if (revealing) {
    painter.save();
    painter.setClipPath(shape);
    revealPainter_(painter, tile, contentPicture(), revealStart());
    painter.restore();
  }
  if (isRippling()) ripplePainter_(painter, tile);
  if (thumbnail_ && !revealing) painter.drawImage(tile, contentPicture());
  // Brightness: in-flight tiles are darker.
  if (darkness_.value() > 0) painter.fillPath(shape, QColor::fromRgbF(0, 0, 0, float(darkness_.value())));

  strokeInside(painter, tile, palette().color(QPalette::Highlight), 3, selectionRing_.value());
  strokeInside(painter, tile, kHoverRingColour, 2, hoverRing_.value());

  if (attention_.value() > 0) {
    painter.fillPath(shape, QColor::fromRgbF(0, 0, 0, float(kDimming * attention_.value())));
  }
}

}  // namespace pm
