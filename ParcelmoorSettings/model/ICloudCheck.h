#pragma once

#include <QCoroTask>

#include <QString>

#include <chrono>
#include <optional>

namespace pm {
class SharedDefaults;
class Signals;
}  // namespace pm

namespace pm::settings {

// How long the iCloud Drive check waits for the agent: `rounds` looks at the suite, each after a sleep of
// `interval`.
struct ICloudCheckTiming {
  int rounds = 50;
  std::chrono::milliseconds interval{100};
};

// Asks the agent to check iCloud Drive ("checkICloud") and waits for its answer: an "icloudCheckedAt"
// later than the one before asking. Then the problem the agent stored (nothing when iCloud Drive is
// usable); without an answer in time, "Parcelmoor did not answer about iCloud Drive.". Never throws.
QCoro::Task<std::optional<QString>> testICloudConnection(const SharedDefaults& defaults, Signals& signals,
                                                         ICloudCheckTiming timing = {});

}  // namespace pm::settings
