#pragma once

#include <QString>

#include <optional>

namespace pm {

class SharedDefaults;

// Why iCloud Drive cannot take uploads right now, from the last check stored under "icloudState":
// "iCloud Drive has not been checked yet." when no check has stored a text, nothing when the check stored
// an empty text (usable), otherwise the stored text itself.
std::optional<QString> iCloudLastAvailabilityProblem(const SharedDefaults& defaults);

}  // namespace pm
