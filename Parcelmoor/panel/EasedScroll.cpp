#include "panel/EasedScroll.h"

#include <algorithm>
#include <cmath>

namespace pm {

namespace {

constexpr int kFrameMs = 16;

}  // namespace

EasedScroll::EasedScroll(const MonotonicClock& clock, QObject* parent) : QObject(parent), clock_(clock) {
  frames_.setInterval(kFrameMs);
  connect(&frames_, &QTimer::timeout, this, &EasedScroll::step);
}

void EasedScroll::start(int from, int to, std::chrono::milliseconds duration) {
  from_ = from;
  to_ = to;
  duration_ = duration;
  startedAt_ = clock_.steadyNow();
  frames_.start();
}

void EasedScroll::stop() {
  frames_.stop();
}

void EasedScroll::step() {
  const double elapsed =
      double(std::chrono::duration_cast<std::chrono::milliseconds>(clock_.steadyNow() - startedAt_).count());
  const double progress = duration_.count() > 0 ? std::clamp(elapsed / double(duration_.count()), 0.0, 1.0) : 1.0;
  const int value = int(std::lround(from_ + (to_ - from_) * curve_.valueForProgress(progress)));
  if (progress >= 1) frames_.stop();
  Q_EMIT valueChanged(value);
  if (progress >= 1) Q_EMIT finished();
}

}  // namespace pm
