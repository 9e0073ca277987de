#include "StoreTransaction.h"

#include <QHash>
#include <QJsonDocument>

#include "SqliteConnection.h"

namespace pm::dev {

namespace {

QString jsonText(const QJsonObject& object) {
  return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject jsonObject(const QString& text) {
  return QJsonDocument::fromJson(text.toUtf8()).object();
}

std::optional<QString> optionalText(const Statement& row, int column) {
  if (row.isNull(column)) return std::nullopt;
  return row.text(column);
}

// The columns every file query reads, in this order.
#define PM_FILE_COLUMNS "id, path, content_type, size, part_size, part_count, confirmed, withdrawn"

StoredFile fileOf(const Statement& row) {
  StoredFile file;
  file.id = row.text(0);
  file.path = row.text(1);
  file.contentType = row.text(2);
  file.size = row.integer(3);
  if (!row.isNull(4)) file.partSize = row.integer(4);
  file.partCount = int(row.integer(5));
  file.confirmed = row.integer(6) != 0;
  file.withdrawn = row.integer(7) != 0;
  return file;
}

StoredBucket bucketOf(const Statement& row) {
  return StoredBucket{row.text(0), row.text(1), row.blob(2), row.integer(3) != 0,
                      QDateTime::fromString(row.text(4), Qt::ISODateWithMs)};
}

}  // namespace

StoreTransaction::StoreTransaction(SqliteConnection& connection, Kind kind) : connection_(connection) {
  // A writer takes the write lock at once, so two writers queue instead of failing at their first change.
  connection_.query(kind == Kind::write ? "BEGIN IMMEDIATE" : "BEGIN").run();
}

StoreTransaction::~StoreTransaction() {
  if (!open_) return;
  try {
    connection_.query("ROLLBACK").run();
  } catch (const StoreError& error) {
    qWarning("cannot roll back: %s", error.what());
  }
}

void StoreTransaction::commit() {
  connection_.query("COMMIT").run();
  open_ = false;
}

// ---- sessions and accounts ------------------------------------------------------------------------------

void StoreTransaction::addSession(const QString& tokenHash, const QString& email) {
  connection_.query("INSERT OR REPLACE INTO sessions (token_hash, email) VALUES (?, ?)", tokenHash, email)
      .run();
}

std::optional<QString> StoreTransaction::sessionEmail(const QString& tokenHash) {
  Statement row = connection_.query("SELECT email FROM sessions WHERE token_hash = ?", tokenHash);
  if (!row.next()) return std::nullopt;
  return row.text(0);
}

void StoreTransaction::removeSession(const QString& tokenHash) {
  connection_.query("DELETE FROM sessions WHERE token_hash = ?", tokenHash).run();
}

void StoreTransaction::addAccount(const QString& email, bool subscribed) {
  connection_.query("INSERT OR IGNORE INTO accounts (email, subscribed) VALUES (?, ?)", email, subscribed)
      .run();
}

bool StoreTransaction::isSubscribed(const QString& email) {
  Statement row = connection_.query("SELECT subscribed FROM accounts WHERE email = ?", email);
  return !row.next() || row.integer(0) != 0;
}

// ---- buckets and files ----------------------------------------------------------------------------------

void StoreTransaction::addBucket(const StoredBucket& bucket) {
  connection_
      .query("INSERT INTO buckets (id, owner, key, sealed, created) VALUES (?, ?, ?, ?, ?)", bucket.id,
             bucket.owner, bucket.key, bucket.sealed, bucket.created.toString(Qt::ISODateWithMs))
      .run();
}

std::optional<StoredBucket> StoreTransaction::bucket(const QString& bucketID) {
  Statement row =
      connection_.query("SELECT id, owner, key, sealed, created FROM buckets WHERE id = ?", bucketID);
  if (!row.next()) return std::nullopt;
  return bucketOf(row);
}

QList<StoredBucket> StoreTransaction::buckets() {
  QList<StoredBucket> buckets;
  Statement row = connection_.query("SELECT id, owner, key, sealed, created FROM buckets ORDER BY created");
  while (row.next()) buckets.append(bucketOf(row));
  return buckets;
}

void StoreTransaction::sealBucket(const QString& bucketID) {
  connection_.query("UPDATE buckets SET sealed = 1 WHERE id = ?", bucketID).run();
}

void StoreTransaction::addFile(const QString& bucketID, const StoredFile& file) {
  connection_
      .query("INSERT INTO files (bucket, " PM_FILE_COLUMNS ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", bucketID,
             file.id, file.path, file.contentType, file.size, file.partSize, file.partCount, file.confirmed,
             file.withdrawn)
      .run();
  for (auto it = file.etags.cbegin(); it != file.etags.cend(); ++it) {
    connection_
        .query("INSERT OR REPLACE INTO parts (bucket, file, number, etag) VALUES (?, ?, ?, ?)", bucketID,
               file.id, it.key(), it.value())
        .run();
  }
}

std::optional<StoredFile> StoreTransaction::file(const QString& bucketID, const QString& fileID) {
  std::optional<StoredFile> file;
  {
    Statement row = connection_.query("SELECT " PM_FILE_COLUMNS " FROM files WHERE bucket = ? AND id = ?",
                                      bucketID, fileID);
    if (!row.next()) return std::nullopt;
    file = fileOf(row);
  }
  Statement tags =
      connection_.query("SELECT number, etag FROM parts WHERE bucket = ? AND file = ?", bucketID, fileID);
  while (tags.next()) file->etags.insert(int(tags.integer(0)), tags.text(1));
  return file;
}

QList<StoredFile> StoreTransaction::files(const QString& bucketID) {
  QList<StoredFile> files;
  {
    Statement row =
        connection_.query("SELECT " PM_FILE_COLUMNS " FROM files WHERE bucket = ? ORDER BY seq", bucketID);
    while (row.next()) files.append(fileOf(row));
  }
  loadTags(bucketID, files);
  return files;
}

void StoreTransaction::loadTags(const QString& bucketID, QList<StoredFile>& files) {
  QHash<QString, StoredFile*> byID;
  byID.reserve(files.size());
  for (StoredFile& file : files) byID.insert(file.id, &file);
  Statement tags = connection_.query("SELECT file, number, etag FROM parts WHERE bucket = ?", bucketID);
  while (tags.next()) {
    if (StoredFile* file = byID.value(tags.text(0))) file->etags.insert(int(tags.integer(1)), tags.text(2));
  }
}

bool StoreTransaction::hasLivePath(const QString& bucketID, const QString& path) {
  return connection_
      .query("SELECT 1 FROM files WHERE bucket = ? AND path = ? AND withdrawn = 0 LIMIT 1", bucketID, path)
      .next();
}

void StoreTransaction::setPartTag(const QString& bucketID, const QString& fileID, int partNumber,
                                  const QString& etag) {
  connection_
      .query("INSERT OR REPLACE INTO parts (bucket, file, number, etag) VALUES (?, ?, ?, ?)", bucketID,
             fileID, partNumber, etag)
      .run();
  connection_.query("UPDATE files SET confirmed = 0 WHERE bucket = ? AND id = ?", bucketID, fileID).run();
}

void StoreTransaction::confirmFile(const QString& bucketID, const QString& fileID) {
  connection_.query("UPDATE files SET confirmed = 1 WHERE bucket = ? AND id = ?", bucketID, fileID).run();
}

void StoreTransaction::withdrawFile(const QString& bucketID, const QString& fileID) {
  connection_.query("UPDATE files SET withdrawn = 1 WHERE bucket = ? AND id = ?", bucketID, fileID).run();
}

// ---- connectors and boxes -------------------------------------------------------------------------------

void StoreTransaction::putConnector(const QString& connectorID, const QJsonObject& connector) {
  connection_
      .query("INSERT OR REPLACE INTO connectors (id, body) VALUES (?, ?)", connectorID, jsonText(connector))
      .run();
}

std::optional<QJsonObject> StoreTransaction::connector(const QString& connectorID) {
  Statement row = connection_.query("SELECT body FROM connectors WHERE id = ?", connectorID);
  if (!row.next()) return std::nullopt;
  return jsonObject(row.text(0));
}

void StoreTransaction::removeConnector(const QString& connectorID) {
  connection_.query("DELETE FROM connectors WHERE id = ?", connectorID).run();
}

void StoreTransaction::addBox(const StoredBox& box) {
  connection_
      .query("INSERT INTO boxes (id, idempotency_key, registration) VALUES (?, ?, ?)", box.id,
             box.idempotencyKey, jsonText(box.registration))
      .run();
}

std::optional<StoredBox> StoreTransaction::box(const QString& boxID) {
  Statement row =
      connection_.query("SELECT id, idempotency_key, registration FROM boxes WHERE id = ?", boxID);
  if (!row.next()) return std::nullopt;
  return StoredBox{row.text(0), row.text(1), jsonObject(row.text(2))};
}

std::optional<StoredBox> StoreTransaction::boxByIdempotencyKey(const QString& idempotencyKey) {
  Statement row = connection_.query(
      "SELECT id, idempotency_key, registration FROM boxes WHERE idempotency_key = ?", idempotencyKey);
  if (!row.next()) return std::nullopt;
  return StoredBox{row.text(0), row.text(1), jsonObject(row.text(2))};
}

// ---- sync -----------------------------------------------------------------------------------------------

std::optional<SyncRecords::Copy> StoreTransaction::syncCopy(const QString& account) {
  Statement row = connection_.query("SELECT blob, version FROM sync_copies WHERE account = ?", account);
  if (!row.next()) return std::nullopt;
  return SyncRecords::Copy{row.text(0), row.integer(1)};
}

void StoreTransaction::putSyncCopy(const QString& account, const SyncRecords::Copy& copy) {
  connection_
      .query("INSERT OR REPLACE INTO sync_copies (account, blob, version) VALUES (?, ?, ?)", account,
             copy.blob, copy.version)
      .run();
}

std::optional<SyncRecords::Pairing> StoreTransaction::pairing(const QString& account) {
  Statement row = connection_.query(
      "SELECT salt, public_key, mac, handover, expires_at FROM pairings WHERE account = ?", account);
  if (!row.next()) return std::nullopt;
  SyncRecords::Pairing pairing;
  pairing.salt = row.text(0);
  pairing.publicKey = optionalText(row, 1);
  pairing.mac = optionalText(row, 2);
  if (const auto handover = optionalText(row, 3)) pairing.handover = jsonObject(*handover);
  pairing.expiresAt = QDateTime::fromString(row.text(4), Qt::ISODateWithMs);
  return pairing;
}

void StoreTransaction::putPairing(const QString& account, const SyncRecords::Pairing& pairing) {
  Statement statement = connection_.query(
      "INSERT OR REPLACE INTO pairings (account, salt, public_key, mac, handover, expires_at) "
      "VALUES (?, ?, ?, ?, ?, ?)",
      account, pairing.salt);
  // Absent values stay NULL: a statement's bindings are cleared after each use.
  if (pairing.publicKey) statement.bind(3, *pairing.publicKey);
  if (pairing.mac) statement.bind(4, *pairing.mac);
  if (pairing.handover) statement.bind(5, jsonText(*pairing.handover));
  statement.bind(6, pairing.expiresAt.toString(Qt::ISODateWithMs));
  statement.run();
}

void StoreTransaction::removePairing(const QString& account) {
  connection_.query("DELETE FROM pairings WHERE account = ?", account).run();
}

}  // namespace pm::dev

#undef PM_FILE_COLUMNS
