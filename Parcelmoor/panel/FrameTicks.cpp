#include "FrameTicks.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QPointer>

namespace pm {

FrameTicks::FrameTicks(std::chrono::milliseconds interval, QObject* parent) : QObject(parent) {
  timer_.setInterval(interval);
  connect(&timer_, &QTimer::timeout, this, [this] {
    // The last follower has gone: stop until the next one comes.
    if (!isSignalConnected(QMetaMethod::fromSignal(&FrameTicks::tick))) {
      timer_.stop();
      return;
    }
    Q_EMIT tick();
  });
}

FrameTicks& FrameTicks::tiles() {
  static QPointer<FrameTicks> shared;
  if (!shared) shared = new FrameTicks(std::chrono::milliseconds(33), QCoreApplication::instance());
  return *shared;
}

void FrameTicks::connectNotify(const QMetaMethod& signal) {
  if (signal == QMetaMethod::fromSignal(&FrameTicks::tick) && !timer_.isActive()) timer_.start();
}

}  // namespace pm
