#include "SyncPayload.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

#include "core/Identifiers.h"
#include "core/JsonDecoding.h"
#include "platform/Clock.h"
#include "platform/Crypto.h"
#include "platform/Log.h"
#include "sync/PayloadDates.h"

namespace pm {

namespace {

const QString kUploaders = QStringLiteral("uploaders");
const QString kDeleted = QStringLiteral("deleted");
const QString kPreferences = QStringLiteral("preferences");
const QString kConfig = QStringLiteral("config");
const QString kCredentials = QStringLiteral("credentials");
const QString kFtp = QStringLiteral("ftp");
const QString kGoogle = QStringLiteral("google");
const QString kMicrosoft = QStringLiteral("microsoft");
const QString kValue = QStringLiteral("value");
const QString kUpdatedAt = QStringLiteral("updatedAt");
const QString kExpiresAt = QStringLiteral("expiresAt");
const QString kCredentialChanges = QStringLiteral("credentialChanges");
const QString kDigest = QStringLiteral("digest");

[[noreturn]] void fail(const QString& text) {
  throw JsonDecodingError(text);
}

// The records keep their own JSON; the payload only retells their dates as text.
QString dateText(const QDateTime& date) {
  const std::optional<QString> text = payloadDateText(date);
  if (!text) throw std::invalid_argument("a date in the sync payload is not a valid date");
  return *text;
}

QJsonObject objectOf(const QByteArray& json) {
  return QJsonDocument::fromJson(json).object();
}

QByteArray bytesOf(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QDateTime dateFrom(const QJsonValue& value, const QString& where) {
  const auto date = value.isString() ? payloadDateFromText(value.toString()) : std::nullopt;
  if (!date) fail(QStringLiteral("%1 is not an ISO 8601 date.").arg(where));
  return *date;
}

// Puts the stored number form back in place of the payload's text, which the record's own reader takes.
void dateTextToNumber(QJsonObject& object, const QString& key, const QString& where) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined() || value.isNull()) return;
  object.insert(key, secondsSinceReferenceDate(dateFrom(value, where)));
}

QJsonObject configJson(const UploaderConfig& config) {
  std::optional<QJsonObject> object = config.toJson();
  if (!object) throw std::invalid_argument("a synced connection cannot be written");
  object->insert(kUpdatedAt, dateText(config.updatedAt));
  return *object;
}

QJsonObject oauthJson(const OAuthCredentials& credentials) {
  QJsonObject object = objectOf(credentials.toJson());
  object.insert(kExpiresAt, dateText(credentials.expiresAt));
  return object;
}

QJsonObject credentialsObject(const SyncEntry& entry) {
  QJsonObject object;
  if (entry.credentials) object.insert(kCredentials, objectOf(entry.credentials->toJson()));
  if (entry.ftp) object.insert(kFtp, objectOf(entry.ftp->toJson()));
  if (entry.google) object.insert(kGoogle, oauthJson(*entry.google));
  if (entry.microsoft) object.insert(kMicrosoft, oauthJson(*entry.microsoft));
  return object;
}

QJsonObject entryJson(const SyncEntry& entry) {
  QJsonObject object = credentialsObject(entry);
  object.insert(kConfig, configJson(entry.config));
  return object;
}

// Absent and null both mean "none"; anything else must read as the record.
template <typename Record, typename Read>
std::optional<Record> optionalRecord(const QJsonObject& entry, const QString& key, Read read) {
  const QJsonValue value = entry.value(key);
  if (value.isUndefined() || value.isNull()) return std::nullopt;
  if (!value.isObject()) fail(QStringLiteral("\"%1\" of a connection is not an object.").arg(key));
  std::optional<Record> record = read(value.toObject());
  if (!record) fail(QStringLiteral("\"%1\" of a connection cannot be read.").arg(key));
  return record;
}

std::optional<OAuthCredentials> oauthFrom(QJsonObject object) {
  const QJsonValue expiresAt = object.value(kExpiresAt);
  if (!expiresAt.isString()) return std::nullopt;
  dateTextToNumber(object, kExpiresAt, QStringLiteral("\"expiresAt\""));
  return OAuthCredentials::fromJson(bytesOf(object));
}

SyncEntry entryFrom(const QJsonValue& element) {
  if (!element.isObject()) fail(QStringLiteral("A connection entry is not an object."));
  const QJsonObject object = element.toObject();
  QJsonObject config = requiredObject(object, kConfig);
  dateTextToNumber(config, kUpdatedAt, QStringLiteral("\"updatedAt\" of a connection"));
  std::optional<UploaderConfig> decoded = UploaderConfig::fromJson(config);
  if (!decoded) fail(QStringLiteral("A synced connection cannot be read."));
  return SyncEntry{
      *std::move(decoded),
      optionalRecord<S3Credentials>(object, kCredentials,
                                    [](const QJsonObject& o) { return S3Credentials::fromJson(bytesOf(o)); }),
      optionalRecord<FTPCredentials>(
          object, kFtp, [](const QJsonObject& o) { return FTPCredentials::fromJson(bytesOf(o)); }),
      optionalRecord<OAuthCredentials>(object, kGoogle, oauthFrom),
      optionalRecord<OAuthCredentials>(object, kMicrosoft, oauthFrom),
  };
}

// A missing key is an empty part; a present one must be an object (or array) of its form.
QJsonObject optionalObject(const QJsonObject& payload, const QString& key) {
  const QJsonValue value = payload.value(key);
  if (value.isUndefined()) return {};
  if (!value.isObject()) fail(QStringLiteral("\"%1\" is not an object.").arg(key));
  return value.toObject();
}

// Reads one element of a list or map; one that does not read is kept as it came (`keep`) with a log line,
// so a connection of a kind only a newer version knows, or one damaged element, neither costs the whole
// payload (which would read as unreadable) nor vanishes from it.
template <typename Read, typename Keep>
void readElement(Read read, Keep keep) {
  try {
    read();
  } catch (const JsonDecodingError& error) {
    qCWarning(lcSync) << "Carried unread in the synced settings:" << error.text();
    keep();
  }
}

// The dates are only worth what their digests say: a date given for other credentials than the entry now
// holds (a version without these dates replaced them, and carried the dates along) is left out, and the
// entry's connection date stands for its credentials again.
void readCredentialDates(const QJsonObject& payload, QList<SyncEntry>& entries) {
  const QJsonObject dates = payload.value(kCredentialChanges).toObject();
  for (SyncEntry& entry : entries) {
    const QJsonObject dated = dates.value(uuidText(entry.config.id)).toObject();
    const QJsonValue date = dated.value(kUpdatedAt);
    if (dated.value(kDigest).toString().toLatin1() != entry.credentialsDigest() || !date.isString()) continue;
    entry.credentialsUpdatedAt = payloadDateFromText(date.toString());
  }
}

QJsonObject credentialDatesJson(const QList<SyncEntry>& entries) {
  QJsonObject dates;
  for (const SyncEntry& entry : entries) {
    if (!entry.credentialsUpdatedAt) continue;
    dates.insert(uuidText(entry.config.id),
                 QJsonObject{{kDigest, QString::fromLatin1(entry.credentialsDigest())},
                             {kUpdatedAt, dateText(*entry.credentialsUpdatedAt)}});
  }
  return dates;
}

SyncPref prefFrom(const QString& key, const QJsonValue& value) {
  if (!value.isObject()) fail(QStringLiteral("The preference \"%1\" is not an object.").arg(key));
  const QJsonObject pref = value.toObject();
  return SyncPref{requiredString(pref, kValue),
                  dateFrom(pref.value(kUpdatedAt), QStringLiteral("The time of \"%1\"").arg(key))};
}

SyncPayload payloadFrom(const QJsonObject& object) {
  SyncPayload payload;
  const QJsonValue uploaders = object.value(kUploaders);
  if (!uploaders.isUndefined() && !uploaders.isArray())
    fail(QStringLiteral("\"uploaders\" is not an array."));
  const QJsonArray entries = uploaders.toArray();
  for (const QJsonValue& element : entries) {
    readElement([&] { payload.uploaders.append(entryFrom(element)); },
                [&] { payload.unread.uploaders.append(element); });
  }
  readCredentialDates(object, payload.uploaders);

  const QJsonObject deleted = optionalObject(object, kDeleted);
  for (auto it = deleted.begin(); it != deleted.end(); ++it) {
    readElement(
        [&] {
          payload.deleted.insert(
              it.key(), dateFrom(it.value(), QStringLiteral("The deletion time of %1").arg(it.key())));
        },
        [&] { payload.unread.deleted.insert(it.key(), it.value()); });
  }

  const QJsonObject preferences = optionalObject(object, kPreferences);
  for (auto it = preferences.begin(); it != preferences.end(); ++it) {
    readElement([&] { payload.preferences.insert(it.key(), prefFrom(it.key(), it.value())); },
                [&] { payload.unread.preferences.insert(it.key(), it.value()); });
  }

  for (auto it = object.begin(); it != object.end(); ++it) {
    if (it.key() != kUploaders && it.key() != kDeleted && it.key() != kPreferences &&
        it.key() != kCredentialChanges)
      payload.unread.others.insert(it.key(), it.value());
  }
  return payload;
}

// The unread elements stand in for readable ones under the same key: this computer keeps its own readable
// value locally, while the stored copy keeps what another version wrote until a computer that can weigh
// both replaces it.
void putOver(QJsonObject& part, const QMap<QString, QJsonValue>& unread) {
  for (auto it = unread.cbegin(); it != unread.cend(); ++it) part.insert(it.key(), it.value());
}

}  // namespace

QByteArray SyncEntry::credentialsJson() const {
  return bytesOf(credentialsObject(*this));
}

QByteArray SyncEntry::credentialsDigest() const {
  return crypto::sha256(credentialsJson()).toHex();
}

bool SyncUnread::isEmpty() const {
  return uploaders.isEmpty() && deleted.isEmpty() && preferences.isEmpty() && others.isEmpty();
}

QByteArray SyncPayload::toJson() const {
  QJsonArray entries;
  for (const SyncEntry& entry : uploaders) entries.append(entryJson(entry));
  for (const QJsonValue& element : unread.uploaders) entries.append(element);
  QJsonObject deletedTimes;
  for (auto it = deleted.cbegin(); it != deleted.cend(); ++it)
    deletedTimes.insert(it.key(), dateText(it.value()));
  QJsonObject prefs;
  for (auto it = preferences.cbegin(); it != preferences.cend(); ++it)
    prefs.insert(it.key(), QJsonObject{{kValue, it->value}, {kUpdatedAt, dateText(it->updatedAt)}});
  putOver(deletedTimes, unread.deleted);
  putOver(prefs, unread.preferences);
  QJsonObject object = unread.others;
  object.insert(kUploaders, entries);
  object.insert(kDeleted, deletedTimes);
  object.insert(kPreferences, prefs);
  const QJsonObject credentialDates = credentialDatesJson(uploaders);
  if (!credentialDates.isEmpty()) object.insert(kCredentialChanges, credentialDates);
  // QJsonObject keeps its keys sorted, and Qt writes "/" as it is.
  return bytesOf(object);
}

std::optional<SyncPayload> SyncPayload::fromJson(const QByteArray& json, QString* error) {
  try {
    return payloadFrom(decodeJsonObject(json));
  } catch (const JsonDecodingError& decodingError) {
    if (error) *error = decodingError.text();
    return std::nullopt;
  }
}

}  // namespace pm
