#include "panel/EasedValue.h"

#include <QWidget>

namespace pm {

EasedValue::EasedValue(double initial, QWidget* owner)
    : QObject(owner), owner_(owner), value_(initial), target_(initial) {
  animation_.setEasingCurve(QEasingCurve::OutCubic);
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) { set(value.toDouble()); });
  connect(&animation_, &QVariantAnimation::finished, this, &EasedValue::finished);
}

void EasedValue::animateTo(double target, std::chrono::milliseconds duration) {
  if (target == target_) return;
  target_ = target;
  animation_.stop();
  if (duration.count() <= 0) {
    set(target);
    Q_EMIT finished();
    return;
  }
  animation_.setStartValue(value_);
  animation_.setEndValue(target);
  animation_.setDuration(int(duration.count()));
  animation_.start();
}

void EasedValue::jumpTo(double value) {
  animation_.stop();
  target_ = value;
  set(value);
}

void EasedValue::set(double value) {
  if (value == value_) return;
  value_ = value;
  if (owner_) owner_->update();
}

}  // namespace pm
