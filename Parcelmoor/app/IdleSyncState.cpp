#include "IdleSyncState.h"

#include <QByteArray>

#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm {

void publishIdleSyncState(SharedDefaults& defaults, Signals& signals, bool syncOn) {
  const QByteArray json = syncOn ? QByteArrayLiteral("{\"on\":{}}") : QByteArrayLiteral("{\"off\":{}}");
  defaults.set(QString::fromLatin1(names::key::kSyncState), json);
  signals.postDarwinNotification(QString::fromLatin1(names::signal::kSyncChanged));
}

}  // namespace pm
