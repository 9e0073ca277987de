#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
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
  // When the four credentials last changed, apart from the connection's own `config.updatedAt`: a renewed
  // sign-in must reach the other computers without making this computer's copy of the connection win over
  // an edit made elsewhere. Nothing for an entry that a version without such dates wrote last (it moved
  // the connection's own date on with every credential change); there the connection's date stands for
  // both (see `credentialsDate`).
  std::optional<QDateTime> credentialsUpdatedAt{};

  bool operator==(const SyncEntry&) const = default;

  QDateTime credentialsDate() const { return credentialsUpdatedAt.value_or(config.updatedAt); }
  // The four credentials as the payload writes them, without the connection: {"credentials":…,"ftp":…}.
  QByteArray credentialsJson() const;
  // Hexadecimal SHA-256 of `credentialsJson()`: which credentials a date belongs to.
  QByteArray credentialsDigest() const;
};

// One synced preference: flags as "true" or "false", texts as they are stored, with the time of the change.
struct SyncPref {
  QString value;
  QDateTime updatedAt;

  bool operator==(const SyncPref&) const = default;
};

// What a payload held that this version cannot read (a connection of a kind only a newer version knows, a
// field of another type, a date in another form), kept as the JSON it came as. This computer neither
// applies nor judges it; it only hands it back unchanged whenever it stores the payload again, so another
// computer's data never disappears because this one could not read it.
struct SyncUnread {
  QList<QJsonValue> uploaders;
  // By connection identifier and by preference key, as in the readable parts.
  QMap<QString, QJsonValue> deleted;
  QMap<QString, QJsonValue> preferences;
  // Parts of the payload this version does not know at all.
  QJsonObject others;

  bool isEmpty() const;
  bool operator==(const SyncUnread&) const = default;
};

// Everything settings sync carries between computers, sealed before it leaves this one.
struct SyncPayload {
  QList<SyncEntry> uploaders;
  // Connection identifier (upper-case UUID text) to the time the connection was deleted.
  QMap<QString, QDateTime> deleted;
  // Preference key to its value and change time.
  QMap<QString, SyncPref> preferences;
  SyncUnread unread;

  bool operator==(const SyncPayload&) const = default;

  // {"credentialChanges":{…},"deleted":{…},"preferences":{…},"uploaders":[{"config":{…},"credentials":{…},
  // …}]}: keys sorted, "/" not escaped, every date as whole-second ISO 8601 text in UTC; an absent credential
  // is left out. The nested records keep their own field names. "credentialChanges" holds each dated
  // entry's credential date by connection identifier, with the digest of the credentials it dates:
  // {"<ID>":{"digest":"<hex>","updatedAt":"<date>"}}, left out when no entry is dated. It sits beside the
  // entries, not in them, because a version that does not know it hands an unknown top-level key back
  // unchanged but rewrites its entries without the keys it does not know; the digest tells whether the
  // entry still holds the credentials the date was given for.
  // The unread elements are written as they came: entries after the readable ones, and a tombstone or
  // preference in place of a readable one under the same key (which of the two is newer cannot be told
  // here; the computer that reads both decides). Throws std::invalid_argument for a date that is no date.
  QByteArray toJson() const;
  // Each of the three keys may be missing (empty); "config" is required in every entry. An element that
  // does not read (an entry, a deletion time, a preference) goes to `unread` as it is, and so does any
  // other top-level key; nothing when the text is no JSON object or one of the three parts is not an array
  // or object. A credential date is taken only where its digest matches the entry's credentials; one that
  // does not (another version changed them since), does not read, or names no readable entry is dropped,
  // and so is a "credentialChanges" that is no object. `error` says why.
  static std::optional<SyncPayload> fromJson(const QByteArray& json, QString* error = nullptr);
};

}  // namespace pm
