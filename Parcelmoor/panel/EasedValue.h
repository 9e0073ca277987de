#pragma once

#include <QObject>
#include <QPointer>
#include <QVariantAnimation>

#include <chrono>

class QWidget;

namespace pm {

// A number a widget paints with (an opacity, a brightness), moved to each new target with an ease-out and
// repainting its widget on every step. A duration of zero jumps at once, which is what tests use.
class EasedValue final : public QObject {
  Q_OBJECT

 public:
  EasedValue(double initial, QWidget* owner);

  double value() const { return value_; }
  double target() const { return target_; }
  // Starts from where the value is now; a target equal to the current one changes nothing.
  void animateTo(double target, std::chrono::milliseconds duration);
  // Stops any animation and takes the value at once.
  void jumpTo(double value);

 Q_SIGNALS:
  void finished();

 private:
  void set(double value);

  QPointer<QWidget> owner_;
  QVariantAnimation animation_;
  double value_;
  double target_;
};

}  // namespace pm
