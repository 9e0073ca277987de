#include "ICloudCheck.h"

#include <QCoreApplication>

#include "core/ICloudAvailability.h"
#include "platform/Async.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm::settings {

namespace {

// The agent's last check, as seconds since 1970; 0 before any.
double checkedAt(const SharedDefaults& defaults) {
  return defaults.doubleValue(QString::fromLatin1(names::key::kICloudCheckedAt)).value_or(0.0);
}

}  // namespace

QCoro::Task<std::optional<QString>> testICloudConnection(const SharedDefaults& defaults, Signals& signals,
                                                         ICloudCheckTiming timing) {
  const double before = checkedAt(defaults);
  signals.postDarwinNotification(QString::fromLatin1(names::signal::kCheckICloud));
  for (int round = 0; round < timing.rounds; ++round) {
    co_await sleepFor(timing.interval);
    // Only a newer stamp is an answer: a stored state with an unchanged stamp is an old check's.
    if (checkedAt(defaults) > before) co_return iCloudLastAvailabilityProblem(defaults);
  }
  co_return QCoreApplication::translate("ICloudCheck", "Parcelmoor did not answer about the synced folder.");
}

}  // namespace pm::settings
