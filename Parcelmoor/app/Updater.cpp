#include "Updater.h"

#include "platform/Log.h"

namespace pm {

Updater::Updater() {
  qCDebug(lcApp, "updater started; the package manager delivers updates");
}

void Updater::setAutomaticallyChecks(bool enabled) {
  automaticallyChecks_ = enabled;
}

void Updater::checkNow() {
  qCInfo(lcApp, "update check requested: Parcelmoor is updated by the system's package manager");
}

}  // namespace pm
