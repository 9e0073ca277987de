#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

#include "StoredRecords.h"
#include "SyncRecords.h"

namespace pm::dev {

class SqliteConnection;

// One transaction on the development service's database, open while the object lives: what the routes
// read and change. Without commit() it is rolled back when it ends, so a request that fails halfway
// leaves nothing behind. Every lookup goes through an index: its cost does not grow with the number of
// buckets or files.
class StoreTransaction {
 public:
  enum class Kind { read, write };

  StoreTransaction(SqliteConnection& connection, Kind kind);
  ~StoreTransaction();
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;

  void commit();

  // Sessions, by the SHA-256 of their token in hex.
  void addSession(const QString& tokenHash, const QString& email);
  std::optional<QString> sessionEmail(const QString& tokenHash);
  void removeSession(const QString& tokenHash);

  // Accounts are made subscribed; an account nobody made counts as subscribed too.
  void addAccount(const QString& email, bool subscribed = true);
  bool isSubscribed(const QString& email);

  void addBucket(const StoredBucket& bucket);
  std::optional<StoredBucket> bucket(const QString& bucketID);
  QList<StoredBucket> buckets();
  void sealBucket(const QString& bucketID);

  // Files keep the order they were announced in.
  void addFile(const QString& bucketID, const StoredFile& file);
  std::optional<StoredFile> file(const QString& bucketID, const QString& fileID);
  QList<StoredFile> files(const QString& bucketID);
  bool hasLivePath(const QString& bucketID, const QString& path);
  // A part stored again replaces the tag of the earlier one and calls for a new confirmation.
  void setPartTag(const QString& bucketID, const QString& fileID, int partNumber, const QString& etag);
  void confirmFile(const QString& bucketID, const QString& fileID);
  void withdrawFile(const QString& bucketID, const QString& fileID);

  // Connectors, as received with the "owner" added.
  void putConnector(const QString& connectorID, const QJsonObject& connector);
  std::optional<QJsonObject> connector(const QString& connectorID);
  void removeConnector(const QString& connectorID);

  void addBox(const StoredBox& box);
  std::optional<StoredBox> box(const QString& boxID);
  std::optional<StoredBox> boxByIdempotencyKey(const QString& idempotencyKey);

  // The synced copy and the pairing of one account, as the sync rules keep them.
  std::optional<SyncRecords::Copy> syncCopy(const QString& account);
  void putSyncCopy(const QString& account, const SyncRecords::Copy& copy);
  std::optional<SyncRecords::Pairing> pairing(const QString& account);
  void putPairing(const QString& account, const SyncRecords::Pairing& pairing);
  void removePairing(const QString& account);

 private:
  void loadTags(const QString& bucketID, QList<StoredFile>& files);

  SqliteConnection& connection_;
  bool open_ = true;
};

}  // namespace pm::dev
