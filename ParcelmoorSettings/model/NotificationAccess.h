#pragma once

#include <QString>

#include <optional>

namespace pm::settings {

// The agent's notification permission as it publishes it under "notificationAccess". The settings program
// only shows it; asking for it is the agent's.
enum class NotificationAccess { unknown, denied, granted, silent };

QString rawValue(NotificationAccess access);
// The case whose raw value is exactly `raw` (case-sensitive); nothing for any other text.
std::optional<NotificationAccess> notificationAccessFromRawValue(const QString& raw);

}  // namespace pm::settings
