#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

#include "connectors/FTPCredentials.h"
#include "connectors/OAuthCredentials.h"
#include "core/S3Credentials.h"
#include "core/UploaderConfig.h"

namespace pm {

// One synced connection with the credentials stored for it. Dropbox tokens never travel.
struct SyncEntry {
  UploaderConfig config;
  std::optional<S3Credentials> credentials;
  std::optional<FTPCredentials> ftp;
  std::optional<OAuthCredentials> google;
  std::optional<OAuthCredentials> microsoft;

  bool operator==(const SyncEntry&) const = default;
};

// One synced preference: flags as "true" or "false", texts as they are stored, with the time of the change.
struct SyncPref {
  QString value;
  QDateTime updatedAt;

  bool operator==(const SyncPref&) const = default;
};

// Everything settings sync carries between computers, sealed before it leaves this one.
struct SyncPayload {
  QList<SyncEntry> uploaders;
  // Connection identifier (upper-case UUID text) to the time the connection was deleted.
  QMap<QString, QDateTime> deleted;
  // Preference key to its value and change time.
  QMap<QString, SyncPref> preferences;

  bool operator==(const SyncPayload&) const = default;

  // {"deleted":{…},"preferences":{…},"uploaders":[{"config":{…},"credentials":{…},…}]}: keys sorted, "/" not
  // escaped, every date as whole-second ISO 8601 text in UTC; an absent credential is left out. The nested
  // records keep their own field names. Throws std::invalid_argument for a date that is no date.
  QByteArray toJson() const;
  // Each of the three keys may be missing (empty); "config" is required in every entry. An element that
  // does not read (an entry, a deletion time, a preference) is left out and logged; nothing when the text
  // is no JSON object or one of the three parts is not an array or object. `error` says why.
  static std::optional<SyncPayload> fromJson(const QByteArray& json, QString* error = nullptr);
};

}  // namespace pm
