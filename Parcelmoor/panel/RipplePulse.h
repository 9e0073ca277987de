#pragma once

#include <QTimer>
#include <QWidget>

#include <chrono>

#include "platform/MonotonicClock.h"

namespace pm {

// Rings that pulse over a tile while it is active (an item on its way up). The pulse fades in over
// 0.45 s when it turns active and out over 0.45 s when it stops; turning active again mid-fade starts a
// fresh fade-in from nothing. Shown, it draws frames, at most 30 a second, only while it is active or
// fading: an idle pulse costs nothing. Drawn into a tile instead (paint()), it runs no frames of its own:
// the tile redraws it on the bar's shared frame clock. Lies over the tile without taking its clicks.
class RipplePulse final : public QWidget {
  Q_OBJECT

 public:
  static constexpr double kCornerRadius = 14;
  static constexpr std::chrono::milliseconds kFade{450};
  static constexpr std::chrono::milliseconds kFrameInterval{34};  // under 30 frames a second

  // `clock` must outlive the widget. The wave's time and the last change both start now.
  explicit RipplePulse(const MonotonicClock& clock, QWidget* parent = nullptr,
                       std::chrono::milliseconds fade = kFade);

  bool active() const { return active_; }
  void setActive(bool active);

  // How strongly the pulse shows at `now`, from 0 to 1.
  double rippleLevel(MonotonicClock::TimePoint now) const;
  // Whether the pulse changes with time: while it is active or fading out.
  bool isAnimating() const { return active_ || fadingOut_; }
  // Whether it drives frames of its own: only while it animates on screen.
  bool runsFrames() const { return frames_.isActive(); }
  // Draws the pulse as it is now into `rect` of `painter`, cut to the rounded shape of the tile.
  void paint(QPainter& painter, const QRectF& rect) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void updateFrames();

  const MonotonicClock& clock_;
  const std::chrono::milliseconds fade_;
  bool active_ = false;
  bool fadingOut_ = false;
  MonotonicClock::TimePoint waveStart_;
  MonotonicClock::TimePoint changedAt_;
  QTimer frames_;
  QTimer fadeOutEnd_;
};

}  // namespace pm
