#include "NotificationAccess.h"

#include <array>

namespace pm::settings {

namespace {

// Indexed by the case's declaration order.
constexpr std::array<const char*, 4> kRawValues{"unknown", "denied", "granted", "silent"};

}  // namespace

QString rawValue(NotificationAccess access) {
  return QString::fromLatin1(kRawValues[std::size_t(access)]);
}

std::optional<NotificationAccess> notificationAccessFromRawValue(const QString& raw) {
  for (std::size_t i = 0; i < kRawValues.size(); ++i) {
    if (raw == QLatin1String(kRawValues[i])) return NotificationAccess(i);
  }
  return std::nullopt;
}

}  // namespace pm::settings
