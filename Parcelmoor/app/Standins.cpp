#include "Standins.h"

#include <stdexcept>

#include "platform/Log.h"

namespace pm {

QCoro::Task<DriveCredentials> UnavailableDriveSignIns::signIn(DriveProvider provider) {
  throw std::runtime_error("signing in to " + providerWord(provider).toStdString() + " is not built yet");
  co_return DriveCredentials{};
}

QCoro::Task<QString> UnavailableDriveSignIns::fetchAccountLabel(DriveProvider provider, QString) {
  throw std::runtime_error("no account label for " + providerWord(provider).toStdString() + " yet");
  co_return QString();
}

bool UnavailableDriveSignIns::save(const DriveCredentials&, const QUuid&, DriveProvider) {
  return false;
}

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
