#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QTimer>

#include <chrono>

#include "platform/MonotonicClock.h"

namespace pm {

// A scroll position eased from where it is to a target, timed by the injected monotonic clock so that the
// glide is the same on a slow machine, ends on time whatever the wall clock does, and can be stepped by a
// test. It only reports positions; the owner moves the strip.
class EasedScroll final : public QObject {
  Q_OBJECT

 public:
  // `clock` must outlive the scroll.
  explicit EasedScroll(const MonotonicClock& clock, QObject* parent = nullptr);

  // Glides from `from` to `to` over `duration`, replacing any glide under way.
  void start(int from, int to, std::chrono::milliseconds duration);
  // Ends a glide where it is, without `finished`.
  void stop();
  bool isRunning() const { return frames_.isActive(); }
  int target() const { return to_; }

 Q_SIGNALS:
  void valueChanged(int value);
  void finished();

 private:
  void step();

  const MonotonicClock& clock_;
  QEasingCurve curve_{QEasingCurve::OutCubic};
  QTimer frames_;
  MonotonicClock::TimePoint startedAt_;
  std::chrono::milliseconds duration_{0};
  int from_ = 0;
  int to_ = 0;
};

}  // namespace pm
