#include "JsonStateImport.h"

#include <QJsonArray>

#include "DevStore.h"

namespace pm::dev {

namespace {

QJsonObject objectAt(const QJsonObject& object, const char* key) {
  return object.value(QLatin1String(key)).toObject();
}

QString textAt(const QJsonObject& object, const char* key) {
  return object.value(QLatin1String(key)).toString();
}

StoredFile fileFromJson(const QJsonObject& object) {
  StoredFile file;
  file.id = textAt(object, "id");
  file.path = textAt(object, "path");
  file.contentType = textAt(object, "contentType");
  file.size = object.value(QStringLiteral("size")).toInteger();
  if (object.contains(QStringLiteral("partSize")))
    file.partSize = object.value(QStringLiteral("partSize")).toInteger();
  file.partCount = object.value(QStringLiteral("partCount")).toInt(1);
  const QJsonObject etags = objectAt(object, "etags");
  for (auto it = etags.begin(); it != etags.end(); ++it) file.etags.insert(it.key().toInt(), it->toString());
  file.confirmed = object.value(QStringLiteral("confirmed")).toBool();
  file.withdrawn = object.value(QStringLiteral("withdrawn")).toBool();
  return file;
}

void importBucket(const QJsonObject& object, StoreTransaction& into) {
  StoredBucket bucket;
  bucket.id = textAt(object, "id");
  bucket.owner = textAt(object, "owner");
  bucket.key = QByteArray::fromBase64(textAt(object, "key").toLatin1());
  bucket.sealed = object.value(QStringLiteral("sealed")).toBool();
  bucket.created = QDateTime::fromString(textAt(object, "created"), Qt::ISODateWithMs);
  into.addBucket(bucket);
  for (const QJsonValue& file : object.value(QStringLiteral("files")).toArray())
    into.addFile(bucket.id, fileFromJson(file.toObject()));
}

}  // namespace

void importJsonState(const QJsonObject& state, StoreTransaction& into) {
  const QJsonObject subscriptions = objectAt(state, "subscriptions");
  for (auto it = subscriptions.begin(); it != subscriptions.end(); ++it)
    into.addAccount(it.key(), it->toBool(true));
  const QJsonObject hashes = objectAt(state, "sessionHashes");
  for (auto it = hashes.begin(); it != hashes.end(); ++it) into.addSession(it.key(), it->toString());
  const QJsonObject inClear = objectAt(state, "sessions");
  for (auto it = inClear.begin(); it != inClear.end(); ++it)
    into.addSession(DevStore::tokenHash(it.key()), it->toString());

  const QJsonObject buckets = objectAt(state, "buckets");
  for (auto it = buckets.begin(); it != buckets.end(); ++it) importBucket(it->toObject(), into);
  const QJsonObject connectors = objectAt(state, "connectors");
  for (auto it = connectors.begin(); it != connectors.end(); ++it)
    into.putConnector(it.key(), it->toObject());
  const QJsonObject boxes = objectAt(state, "boxes");
  for (auto it = boxes.begin(); it != boxes.end(); ++it) {
    const QJsonObject box = it->toObject();
    into.addBox(StoredBox{it.key(), textAt(box, "idempotencyKey"), objectAt(box, "registration")});
  }

  // The sync rules read their own form, pairings past their time left out.
  SyncRecords sync;
  sync.load(objectAt(state, "sync"));
  for (auto it = sync.copies.cbegin(); it != sync.copies.cend(); ++it) into.putSyncCopy(it.key(), *it);
  for (auto it = sync.pairings.cbegin(); it != sync.pairings.cend(); ++it) into.putPairing(it.key(), *it);
}

QJsonObject withTokensHashed(QJsonObject state) {
  QJsonObject hashes = objectAt(state, "sessionHashes");
  const QJsonObject inClear = objectAt(state, "sessions");
  for (auto it = inClear.begin(); it != inClear.end(); ++it)
    hashes.insert(DevStore::tokenHash(it.key()), *it);
  state.remove(QStringLiteral("sessions"));
  state.insert(QStringLiteral("sessionHashes"), hashes);
  return state;
}

}  // namespace pm::dev
