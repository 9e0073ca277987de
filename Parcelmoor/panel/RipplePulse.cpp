#include "RipplePulse.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

namespace pm {

namespace {

constexpr int kRings = 3;
constexpr double kRingPeriodSeconds = 1.6;  // one ring grows from the centre to the corners in this time
// The rings look the same again each time one of them has taken the place of the next: the picture repeats
// every period / kRings. It is drawn for this many steps of that time (steps of 17 ms, finer than the
// frames).
constexpr int kPictureSteps = 32;
constexpr double kRingAlpha = 0.55;  // of a ring as it sets off, at full level

// The rings at full level for one step of their cycle, cut to the tile's rounded shape: stroking three
// antialiased circles and clipping them to rounded corners on every frame of every tile was most of what a
// frame of the bar cost, and there are only kPictureSteps distinct pictures per size. Main thread only.
const QImage& ringsPicture(const QSize& pixels, qreal ratio, int step) {
  static QSize madeFor;
  static qreal madeAt = 0;
  static std::array<QImage, kPictureSteps> pictures;
  if (pixels != madeFor || ratio != madeAt) {
    pictures = {};
    madeFor = pixels;
    madeAt = ratio;
  }
  QImage& picture = pictures.at(std::size_t(step));
  if (!picture.isNull()) return picture;
  picture = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::transparent);
  const QRectF rect(QPointF(0, 0), QSizeF(pixels) / ratio);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath clip;
  clip.addRoundedRect(rect, RipplePulse::kCornerRadius, RipplePulse::kCornerRadius);
  painter.setClipPath(clip);
  painter.setBrush(Qt::NoBrush);
  const QPointF centre = rect.center();
  const double reach = std::hypot(rect.width(), rect.height()) / 2.0;
  for (int ring = 0; ring < kRings; ++ring) {
    // Rings set off one after another; each fades as it spreads.
    const double phase = (double(step) / kPictureSteps + ring) / kRings;
    const double alpha = (1.0 - phase) * kRingAlpha;
    painter.setPen(QPen(QColor::fromRgbF(1.0, 1.0, 1.0, float(alpha)), 2.0));
    painter.drawEllipse(centre, reach * phase, reach * phase);
  }
  return picture;
}

double millisecondsBetween(MonotonicClock::TimePoint from, MonotonicClock::TimePoint to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

RipplePulse::RipplePulse(const MonotonicClock& clock, QWidget* parent, std::chrono::milliseconds fade)
    : QWidget(parent), clock_(clock), fade_(fade), waveStart_(clock.steadyNow()), changedAt_(waveStart_) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  frames_.setInterval(kFrameInterval);
  connect(&frames_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
  fadeOutEnd_.setSingleShot(true);
  // One timer for the end of the fade: a later fade-out restarts it instead of being cut short by the
  // end of an earlier one.
  connect(&fadeOutEnd_, &QTimer::timeout, this, [this] {
    fadingOut_ = false;
    updateFrames();
    update();
  });
}

void RipplePulse::setActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  changedAt_ = clock_.steadyNow();
  if (!active_) {
    fadingOut_ = true;
    fadeOutEnd_.start(fade_);
  }
  updateFrames();
  update();
}

double RipplePulse::rippleLevel(MonotonicClock::TimePoint now) const {
  const double fraction =
      fade_.count() > 0 ? std::clamp(millisecondsBetween(changedAt_, now) / double(fade_.count()), 0.0, 1.0) : 1.0;
  if (active_) return fraction;
  if (fadingOut_) return 1.0 - fraction;
  return 0.0;
}

void RipplePulse::updateFrames() {
  // A pulse that is drawn into a tile is never shown; the tile's frames redraw it.
  if (isAnimating() && isVisible()) {
    if (!frames_.isActive()) frames_.start();
  } else {
    frames_.stop();
  }
}

void RipplePulse::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  updateFrames();
}

void RipplePulse::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  updateFrames();
}

void RipplePulse::paint(QPainter& painter, const QRectF& rect) const {
  const MonotonicClock::TimePoint now = clock_.steadyNow();
  const double level = rippleLevel(now);
  if (level <= 0.0 || rect.isEmpty()) return;
  const double elapsed = millisecondsBetween(waveStart_, now) / 1000.0;
  const double cycle = std::fmod(elapsed * kRings / kRingPeriodSeconds, 1.0);
  const int step = std::clamp(int(cycle * kPictureSteps), 0, kPictureSteps - 1);
  const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  const QSize pixels = (rect.size() * ratio).toSize();
  // Every ring's alpha grows with the level alike: the full-level picture drawn at that opacity.
  painter.save();
  painter.setOpacity(painter.opacity() * level);
  painter.drawImage(rect, ringsPicture(pixels, ratio, step));
  painter.restore();
}

void RipplePulse::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paint(painter, QRectF(rect()));
}

}  // namespace pm
