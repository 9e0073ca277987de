#include "SignInLoadingWindow.h"

#include <QPointer>
#include <QTimer>

namespace pm::settings {

SignInLoadingWindow::SignInLoadingWindow(Schedule schedule, QObject* parent)
    : QObject(parent), schedule_(std::move(schedule)) {
  if (!schedule_) {
    schedule_ = [this](std::chrono::milliseconds delay, std::function<void()> call) {
      QTimer::singleShot(delay, this, std::move(call));
    };
  }
}

void SignInLoadingWindow::open() {
  const quint64 opening = ++opening_;
  const bool wasOpen = open_;
  open_ = true;
  if (!wasOpen) Q_EMIT openChanged(true);
  schedule_(kDuration, [self = QPointer(this), opening] {
    if (!self || self->opening_ != opening || !self->open_) return;
    self->open_ = false;
    Q_EMIT self->openChanged(false);
  });
}

}  // namespace pm::settings
