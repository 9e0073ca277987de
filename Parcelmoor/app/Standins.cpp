#include "Standins.h"

#include "platform/Log.h"

namespace pm {

void DormantSyncCoordinator::enable() {
  qCInfo(lcSync, "settings sync is not built yet; it stays off");
}

void DormantSyncCoordinator::submitPendingCode() {
  qCInfo(lcSync, "settings sync is not built yet; the pairing code is left alone");
}

void DormantSyncCoordinator::startFlow(Flow) {
  qCInfo(lcSync, "settings sync is not built yet; no pairing");
}

QCoro::Task<> DormantSyncCoordinator::offer(QString) {
  co_return;
}

}  // namespace pm
