#pragma once

#include <QDateTime>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>

namespace pm {

class Clock;

// A newly arrived thumbnail, revealed once from the top down with a streak that smears its leading row
// over what is still to come, then shown plainly. Frames run only until the reveal has finished; then
// `onFinish` is called, once. A reveal made finished shows its picture at once and never calls it.
class RevealThumbnail final : public QWidget {
  Q_OBJECT

 public:
  static constexpr double kCornerRadius = 14;
  static constexpr std::chrono::milliseconds kFrameInterval{16};

  struct Reveal {
    QDateTime start;
    double size = 60;  // edge of the square the picture is laid out in
    std::chrono::milliseconds duration{1100};
    std::function<void()> onFinish;
    bool finished = false;
  };

  // `clock` must outlive the widget.
  RevealThumbnail(const Clock& clock, QPixmap picture, Reveal reveal, QWidget* parent = nullptr);

  // The eased progress at `now`: 0 at the start, 1 from `start + duration` on (and always once finished).
  double revealProgress(const QDateTime& now) const;
  bool isFinished() const { return reveal_.finished; }
  bool isAnimating() const { return frames_.isActive(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double linearProgress(const QDateTime& now) const;
  void frame();

  const Clock& clock_;
  QPixmap picture_;
  Reveal reveal_;
  QTimer frames_;
};

}  // namespace pm
