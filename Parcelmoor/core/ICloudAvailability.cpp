#include "ICloudAvailability.h"

#include <QCoreApplication>

#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"

namespace pm {

std::optional<QString> iCloudLastAvailabilityProblem(const SharedDefaults& defaults) {
  // A value that is not text was not written by the check, so it counts as no check at all.
  const auto state = defaults.stringValue(QString::fromLatin1(names::key::kICloudState));
  if (!state) return QCoreApplication::translate("ICloudUploader", "The synced folder has not been checked yet.");
  if (state->isEmpty()) return std::nullopt;
  return *state;
}

}  // namespace pm
