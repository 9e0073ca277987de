#include "DBusCall.h"

#include <QDBusPendingCallWatcher>

#include <QCoroSignal>

namespace pm {

QCoro::Task<QDBusMessage> callDBus(QDBusConnection connection, QDBusMessage message,
                                   std::chrono::milliseconds timeout) {
  QDBusPendingCallWatcher watcher(connection.asyncCall(message, int(timeout.count())));
  if (!watcher.isFinished()) co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished);
  co_return watcher.reply();
}

}  // namespace pm
