#include "DevStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUuid>

#include <cstdio>

#include "platform/Crypto.h"
#include "platform/Paths.h"

namespace pm::dev {

namespace {

constexpr qint64 kChunkSize = 4'194'304;
constexpr qint64 kRecordOverhead = 28;
constexpr qint64 kHeaderSize = 8;

QString tokenHash(const QString& token) {
  return QString::fromLatin1(crypto::sha256(token.toUtf8()).toHex());
}

QString stateFile(const QString& directory) {
  return directory + QLatin1String("/state.json");
}

QJsonObject fileToJson(const StoredFile& file) {
  QJsonObject etags;
  for (auto it = file.etags.cbegin(); it != file.etags.cend(); ++it)
    etags.insert(QString::number(it.key()), it.value());
  QJsonObject object{{QStringLiteral("id"), file.id},
                     {QStringLiteral("path"), file.path},
                     {QStringLiteral("contentType"), file.contentType},
                     {QStringLiteral("size"), file.size},
                     {QStringLiteral("partCount"), file.partCount},
                     {QStringLiteral("etags"), etags},
                     {QStringLiteral("confirmed"), file.confirmed},
                     {QStringLiteral("withdrawn"), file.withdrawn}};
  if (file.partSize) object.insert(QStringLiteral("partSize"), *file.partSize);
  return object;
}

StoredFile fileFromJson(const QJsonObject& object) {
  StoredFile file;
  file.id = object.value(QStringLiteral("id")).toString();
  file.path = object.value(QStringLiteral("path")).toString();
  file.contentType = object.value(QStringLiteral("contentType")).toString();
  file.size = object.value(QStringLiteral("size")).toInteger();
  if (object.contains(QStringLiteral("partSize")))
    file.partSize = object.value(QStringLiteral("partSize")).toInteger();
  file.partCount = object.value(QStringLiteral("partCount")).toInt(1);
  const QJsonObject etags = object.value(QStringLiteral("etags")).toObject();
  for (auto it = etags.begin(); it != etags.end(); ++it)
    file.etags.insert(it.key().toInt(), it.value().toString());
  file.confirmed = object.value(QStringLiteral("confirmed")).toBool();
  file.withdrawn = object.value(QStringLiteral("withdrawn")).toBool();
  return file;
}

QJsonObject bucketToJson(const StoredBucket& bucket) {
  QJsonArray files;
  for (const StoredFile& file : bucket.files) files.append(fileToJson(file));
  return QJsonObject{{QStringLiteral("id"), bucket.id},
                     {QStringLiteral("owner"), bucket.owner},
                     {QStringLiteral("key"), QString::fromLatin1(bucket.key.toBase64())},
                     {QStringLiteral("sealed"), bucket.sealed},
                     {QStringLiteral("created"), bucket.created.toString(Qt::ISODateWithMs)},
                     {QStringLiteral("files"), files}};
}

StoredBucket bucketFromJson(const QJsonObject& object) {
  StoredBucket bucket;
  bucket.id = object.value(QStringLiteral("id")).toString();
  bucket.owner = object.value(QStringLiteral("owner")).toString();
  bucket.key = QByteArray::fromBase64(object.value(QStringLiteral("key")).toString().toLatin1());
  bucket.sealed = object.value(QStringLiteral("sealed")).toBool();
  bucket.created =
      QDateTime::fromString(object.value(QStringLiteral("created")).toString(), Qt::ISODateWithMs);
  for (const QJsonValue& file : object.value(QStringLiteral("files")).toArray())
    bucket.files.append(fileFromJson(file.toObject()));
  return bucket;
}

template <typename T>
QJsonObject mapToJson(const QMap<QString, T>& map) {
  QJsonObject object;
  for (auto it = map.cbegin(); it != map.cend(); ++it) object.insert(it.key(), it.value());
  return object;
}

}  // namespace

// ---- files and buckets ----------------------------------------------------------------------------------

bool StoredFile::isComplete() const {
  if (withdrawn || etags.size() != partCount) return false;
  return !partSize || confirmed;
}

qint64 StoredFile::plainSize() const {
  const qint64 records = size - kHeaderSize;
  const qint64 count =
      std::max<qint64>((records + kChunkSize + kRecordOverhead - 1) / (kChunkSize + kRecordOverhead), 1);
  return std::max<qint64>(records - kRecordOverhead * count, 0);
}

StoredFile* StoredBucket::file(const QString& fileID) {
  for (StoredFile& candidate : files) {
    if (candidate.id == fileID) return &candidate;
  }
  return nullptr;
}

const StoredFile* StoredBucket::file(const QString& fileID) const {
  return const_cast<StoredBucket*>(this)->file(fileID);
}

bool StoredBucket::hasLivePath(const QString& path) const {
  return std::any_of(files.cbegin(), files.cend(),
                     [&](const StoredFile& file) { return !file.withdrawn && file.path == path; });
}

// ---- the store ------------------------------------------------------------------------------------------

DevStore::DevStore(QString directory) : directory_(QDir::cleanPath(std::move(directory))) {
  usable_ = ensurePrivateDirectory(directory_);
  if (!usable_) return;
  QFile file(stateFile(directory_));
  if (!file.exists()) return;
  QJsonParseError error{};
  const QJsonDocument document =
      file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &error) : QJsonDocument();
  file.close();
  if (!document.isObject()) {
    const QString aside = file.fileName() + QLatin1String(".unreadable-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
    QFile::rename(file.fileName(), aside);
    std::fprintf(stderr, "state file unreadable; set aside as %s\n", qPrintable(aside));
    return;
  }
  load(document.object());
  // A file with tokens in clear is written again at once, so they do not wait there for the next change.
  if (document.object().contains(QStringLiteral("sessions"))) save();
}

QString DevStore::bucketFolder(const QString& bucketID) const {
  return directory_ + QLatin1String("/parts/") + bucketID;
}

QString DevStore::partFile(const QString& bucketID, const QString& fileID, int partNumber) const {
  return bucketFolder(bucketID) + QLatin1Char('/') + fileID + QLatin1String("/part-") +
         QString::number(partNumber);
}

bool DevStore::save() const {
  QSaveFile file(stateFile(directory_));
  const QByteArray bytes = QJsonDocument(toJson()).toJson(QJsonDocument::Indented);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    std::fprintf(stderr, "cannot save the state: %s\n", qPrintable(file.errorString()));
    return false;
  }
  QFile::setPermissions(stateFile(directory_), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  return true;
}

QString DevStore::createSession(const QString& email) {
  const QString token = QStringLiteral("dev-session-") + QUuid::createUuid().toString(QUuid::Id128);
  sessionHashes.insert(tokenHash(token), email);
  if (!subscriptions.contains(email)) subscriptions.insert(email, true);
  return token;
}

std::optional<QString> DevStore::sessionEmail(const QString& token) const {
  const auto found = sessionHashes.constFind(tokenHash(token));
  if (found == sessionHashes.cend()) return std::nullopt;
  return *found;
}

void DevStore::endSession(const QString& token) {
  sessionHashes.remove(tokenHash(token));
}

QString DevStore::newIdentifier(const QString& kind) {
  return kind + QLatin1Char('-') + QUuid::createUuid().toString(QUuid::Id128);
}

QJsonObject DevStore::toJson() const {
  QJsonObject bucketsJson;
  for (const StoredBucket& bucket : buckets) bucketsJson.insert(bucket.id, bucketToJson(bucket));
  QJsonObject boxesJson;
  for (const StoredBox& box : boxes) {
    boxesJson.insert(box.id, QJsonObject{{QStringLiteral("idempotencyKey"), box.idempotencyKey},
                                         {QStringLiteral("registration"), box.registration}});
  }
  QJsonObject connectorsJson;
  for (auto it = connectors.cbegin(); it != connectors.cend(); ++it)
    connectorsJson.insert(it.key(), it.value());
  return QJsonObject{{QStringLiteral("sessionHashes"), mapToJson(sessionHashes)},
                     {QStringLiteral("subscriptions"), mapToJson(subscriptions)},
                     {QStringLiteral("buckets"), bucketsJson},
                     {QStringLiteral("connectors"), connectorsJson},
                     {QStringLiteral("boxes"), boxesJson},
                     {QStringLiteral("sync"), sync.toJson()}};
}

void DevStore::load(const QJsonObject& object) {
  const QJsonObject hashesJson = object.value(QStringLiteral("sessionHashes")).toObject();
  for (auto it = hashesJson.begin(); it != hashesJson.end(); ++it)
    sessionHashes.insert(it.key(), it.value().toString());
  // Earlier versions kept the tokens themselves: their sessions go on, by hash.
  const QJsonObject clearJson = object.value(QStringLiteral("sessions")).toObject();
  for (auto it = clearJson.begin(); it != clearJson.end(); ++it)
    sessionHashes.insert(tokenHash(it.key()), it.value().toString());
  const QJsonObject subscriptionsJson = object.value(QStringLiteral("subscriptions")).toObject();
  for (auto it = subscriptionsJson.begin(); it != subscriptionsJson.end(); ++it)
    subscriptions.insert(it.key(), it.value().toBool(true));
  const QJsonObject bucketsJson = object.value(QStringLiteral("buckets")).toObject();
  for (auto it = bucketsJson.begin(); it != bucketsJson.end(); ++it)
    buckets.insert(it.key(), bucketFromJson(it.value().toObject()));
  const QJsonObject connectorsJson = object.value(QStringLiteral("connectors")).toObject();
  for (auto it = connectorsJson.begin(); it != connectorsJson.end(); ++it)
    connectors.insert(it.key(), it.value().toObject());
  const QJsonObject boxesJson = object.value(QStringLiteral("boxes")).toObject();
  for (auto it = boxesJson.begin(); it != boxesJson.end(); ++it) {
    const QJsonObject box = it.value().toObject();
    boxes.insert(it.key(), StoredBox{it.key(), box.value(QStringLiteral("idempotencyKey")).toString(),
                                     box.value(QStringLiteral("registration")).toObject()});
  }
  sync.load(object.value(QStringLiteral("sync")).toObject());
}

}  // namespace pm::dev
