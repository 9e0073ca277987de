#include "UploadPanel.h"

#include <QGuiApplication>
#include <QScreen>

#include "core/AppSettings.h"
#include "panel/PanelContent.h"
#include "panel/PanelWindowFrame.h"
#include "panel/ScreenUnderMouse.h"
#include "panel/UnconstrainedPanel.h"
#include "panel/UploadPanelView.h"
#include "platform/Async.h"
#include "platform/Log.h"

namespace pm {

namespace {

// The window's size before it is first placed; place() sets the real one.
constexpr QSize kInitialSize(384, 400);

}  // namespace

UploadPanel::UploadPanel(Timings timings, QObject* parent) : QObject(parent), timings_(timings) {
  cursorPoll_.setInterval(timings_.cursorPoll);
  connect(&cursorPoll_, &QTimer::timeout, this, [this] { followMouse(false); });
}

UploadPanel::~UploadPanel() = default;

void UploadPanel::attach(BucketStore& store, AppSettings& settings) {
  store_ = &store;
  settings_ = &settings;
}

PanelEdge UploadPanel::configuredEdge() const {
  return settings_ ? settings_->panelEdge() : PanelEdge::left;
}

void UploadPanel::createWindow() {
  window_ = std::make_unique<UnconstrainedPanel>();
  window_->resize(kInitialSize);
  view_ = new UploadPanelView(*store_, presentation_, barServices_);
  view_->setPanel(this);
  content_ = new PanelContent(presentation_, view_, timings_.fade, window_.get());
  content_->setGeometry(window_->rect());
  connect(content_, &PanelContent::contentMoved, this, &UploadPanel::updateInputRegion);
  connect(view_, &UploadPanelView::interactiveRegionChanged, this, &UploadPanel::updateInputRegion);
  updateInputRegion();
}

void UploadPanel::show() {
  if (!store_) return;
  if (!window_) createWindow();
  const bool shown =
      window_->isVisible() && !orderOutPending_ && (presentation_.visible() || revealPending_ || isMoving_);
  if (shown) return;
  QScreen* screen = screenUnderMouse();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;

  // A closing panel stays: its pending order-out and reveal belong to an older generation now.
  ++generation_;
  orderOutPending_ = false;
  currentScreenFrame_ = screen->geometry();
  placedEdge_ = configuredEdge();
  place(*screen);
  window_->show();
  window_->raise();
  reveal(false);
  installMonitors();
}

void UploadPanel::place(QScreen& screen) {
  const PanelEdge edge = configuredEdge();
  presentation_.setEdge(edge);
  const QRect frame = panelWindowFrame(edge, screen.availableGeometry());
  window_->setGeometry(frame);
  content_->setGeometry(window_->rect());
  window_->update();
  Q_EMIT placed(frame);
}

void UploadPanel::reveal(bool sliding) {
  presentation_.setSliding(sliding);
  revealPending_ = true;
  // On the next turn, so the content first lays out hidden and then animates in.
  QTimer::singleShot(0, this, [this, generation = generation_] {
    if (generation != generation_) return;
    revealPending_ = false;
    presentation_.setVisible(true);
  });
}

void UploadPanel::slideOut(std::function<void()> then) {
  const quint64 generation = ++generation_;
  revealPending_ = false;
  orderOutPending_ = true;
  presentation_.setSliding(true);
  presentation_.setVisible(false);
  QTimer::singleShot(timings_.fade, this, [this, generation, then = std::move(then)] {
    if (generation != generation_) return;
    orderOutPending_ = false;
    if (then) then();
  });
}

void UploadPanel::orderOut() {
  if (window_) window_->hide();
}

void UploadPanel::installMonitors() {
  if (!cursorPoll_.isActive()) cursorPoll_.start();
}

void UploadPanel::removeMonitors() {
  cursorPoll_.stop();
}

void UploadPanel::followMouse(bool force) {
  if (!window_ || !window_->isVisible() || isMoving_) return;
  QScreen* screen = screenUnderMouse();
  if (!screen) return;
  if (!force && currentScreenFrame_ == screen->geometry()) return;
  isMoving_ = true;
  detachTask(moveToScreen(screen), lcApp, "moving the panel to another screen");
}

QCoro::Task<> UploadPanel::moveToScreen(QPointer<QScreen> found) {
  const QPointer<UploadPanel> self(this);
  presentation_.setSliding(true);
  presentation_.setVisible(false);
  QCoro::Task<bool> slidOut = sleepFor(timings_.fade);
  co_await slidOut;
  if (!self) co_return;
  // A panel closed while it slid out stays closed: bringing it back is show()'s business.
  if (orderOutPending_ || !window_ || !window_->isVisible()) {
    isMoving_ = false;
    co_return;
  }
  QScreen* screen = screenUnderMouse();
  if (!screen) screen = found.data();
  if (screen) {
    currentScreenFrame_ = screen->geometry();
    placedEdge_ = configuredEdge();
    place(*screen);
  }
  reveal(true);
  QCoro::Task<bool> slidIn = sleepFor(timings_.fade);
  co_await slidIn;
  if (!self) co_return;
  isMoving_ = false;
  // An edge chosen after this move placed the window came while moving, when nothing else could take it.
  followMouse(presentation_.edge() != configuredEdge());
}

void UploadPanel::applyEdgeSetting() {
  const PanelEdge edge = configuredEdge();
  if (placedEdge_ == edge) return;
  placedEdge_ = edge;
  followMouse(true);
}

void UploadPanel::updateInputRegion() {
  if (!window_ || !view_) return;
  window_->setInputRegion(view_->interactiveRegion().translated(view_->mapTo(window_.get(), QPoint(0, 0))));
}

}  // namespace pm
