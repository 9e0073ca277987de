#pragma once

#include <QString>
#include <QUuid>

#include <optional>

#include "app/DriveSignIns.h"

namespace pm {

// The request the settings program leaves under "pendingDriveConnect": the connection's UUID, "|" and
// the connection kind's raw value.
struct PendingDriveConnect {
  QUuid connection;
  OAuthProvider provider;

  bool operator==(const PendingDriveConnect&) const = default;

  // Nothing unless the text is a UUID, "|" and the raw value of a drive kind. Split once at the first
  // "|" that ends a non-empty piece, so "|" pieces around it count as nothing.
  static std::optional<PendingDriveConnect> parse(const QString& value);
};

}  // namespace pm
