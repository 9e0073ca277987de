#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

namespace pm {

// One frame clock for every animating tile of the bar. The strip is drawn through an effect, so a tile's
// repaint redraws the whole strip: tiles ticking on timers of their own would each bring a repaint of the
// strip in a turn of its own, where ticks shared by all bring one a frame. It runs only while followed.
class FrameTicks final : public QObject {
  Q_OBJECT

 public:
  explicit FrameTicks(std::chrono::milliseconds interval, QObject* parent = nullptr);

  // The tiles' clock, 30 frames a second; it lives as long as the application.
  static FrameTicks& tiles();

 Q_SIGNALS:
  void tick();

 protected:
  void connectNotify(const QMetaMethod& signal) override;

 private:
  QTimer timer_;
};

}  // namespace pm
