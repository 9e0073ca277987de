#include "RipplePulse.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace pm {

namespace {

constexpr int kRings = 3;
constexpr double kRingPeriodSeconds = 1.6;  // one ring grows from the centre to the corners in this time

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
  if (active_ || fadingOut_) {
    if (!frames_.isActive()) frames_.start();
  } else {
    frames_.stop();
  }
}

void RipplePulse::paintEvent(QPaintEvent*) {
  const MonotonicClock::TimePoint now = clock_.steadyNow();
  const double level = rippleLevel(now);
  if (level <= 0.0) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath clip;
  clip.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
  painter.setClipPath(clip);

  const double elapsed = millisecondsBetween(waveStart_, now) / 1000.0;
  const QPointF centre = QRectF(rect()).center();
  const double reach = std::hypot(width(), height()) / 2.0;
  painter.setBrush(Qt::NoBrush);
  for (int ring = 0; ring < kRings; ++ring) {
    // Rings set off one after another; each fades as it spreads.
    const double phase = std::fmod(elapsed / kRingPeriodSeconds + double(ring) / kRings, 1.0);
    const double alpha = level * (1.0 - phase) * 0.55;
    painter.setPen(QPen(QColor::fromRgbF(1.0, 1.0, 1.0, float(alpha)), 2.0));
    painter.drawEllipse(centre, reach * phase, reach * phase);
  }
}

}  // namespace pm
