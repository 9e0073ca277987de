#include "DevStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUuid>

#include <cstdio>

#include "JsonStateImport.h"
#include "platform/Crypto.h"
#include "platform/Paths.h"

namespace pm::dev {

namespace {

constexpr int kSchemaVersion = 1;

// Files stay in announcement order by their sequence number; a bucket's parts are read in one range.
constexpr char kSchema[] = R"(
CREATE TABLE sessions (token_hash TEXT PRIMARY KEY, email TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE accounts (email TEXT PRIMARY KEY, subscribed INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE buckets (id TEXT PRIMARY KEY, owner TEXT NOT NULL, key BLOB NOT NULL, sealed INTEGER NOT NULL,
                      created TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE files (seq INTEGER PRIMARY KEY, bucket TEXT NOT NULL, id TEXT NOT NULL, path TEXT NOT NULL,
                    content_type TEXT NOT NULL, size INTEGER NOT NULL, part_size INTEGER,
                    part_count INTEGER NOT NULL, confirmed INTEGER NOT NULL, withdrawn INTEGER NOT NULL,
                    UNIQUE (bucket, id));
CREATE INDEX files_by_path ON files (bucket, path);
CREATE TABLE parts (bucket TEXT NOT NULL, file TEXT NOT NULL, number INTEGER NOT NULL, etag TEXT NOT NULL,
                    PRIMARY KEY (bucket, file, number)) WITHOUT ROWID;
CREATE TABLE connectors (id TEXT PRIMARY KEY, body TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE boxes (id TEXT PRIMARY KEY, idempotency_key TEXT NOT NULL UNIQUE, registration TEXT NOT NULL)
    WITHOUT ROWID;
CREATE TABLE sync_copies (account TEXT PRIMARY KEY, blob TEXT NOT NULL, version INTEGER NOT NULL)
    WITHOUT ROWID;
CREATE TABLE pairings (account TEXT PRIMARY KEY, salt TEXT NOT NULL, public_key TEXT, mac TEXT, handover TEXT,
                       expires_at TEXT NOT NULL) WITHOUT ROWID;
PRAGMA user_version = 1;
)";

QString timeSuffix() {
  return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
}

void setAside(const QString& file, const QString& reason) {
  const QString base = file + QLatin1Char('.') + reason + QLatin1Char('-') + timeSuffix();
  QString aside = base;
  for (int n = 2; QFile::exists(aside); ++n) aside = base + QLatin1Char('-') + QString::number(n);
  if (QFile::rename(file, aside))
    std::fprintf(stderr, "%s set aside as %s\n", qPrintable(file), qPrintable(aside));
  else
    std::fprintf(stderr, "cannot set %s aside\n", qPrintable(file));
}

}  // namespace

DevStore::DevStore(QString directory) : directory_(QDir::cleanPath(std::move(directory))) {
  if (!ensurePrivateDirectory(directory_)) return;
  try {
    open();
  } catch (const StoreError& error) {
    std::fprintf(stderr, "cannot keep the state in %s: %s\n", qPrintable(databaseFile()), error.what());
    writer_.reset();
  }
}

DevStore::~DevStore() = default;

QString DevStore::databaseFile() const {
  return directory_ + QLatin1String("/state.db");
}

void DevStore::open() {
  const QString file = databaseFile();
  const bool existed = QFile::exists(file);
  writer_ = std::make_unique<SqliteConnection>(file);
  // Its log and index files take the database file's permissions.
  if (!existed) QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  // Committed transactions survive a crash of the process; only the machine going down may lose the last
  // ones, which a stand-in for development can afford rather than wait for the disk on every request.
  writer_->execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL");

  const QString earlierFile = directory_ + QLatin1String("/state.json");
  const bool hadEarlierFile = QFile::exists(earlierFile);
  bool madeNow = false;
  bool earlierReadable = false;
  std::optional<QJsonObject> withClearTokens;
  write([&](StoreTransaction& transaction) {
    {
      Statement version = writer_->query("PRAGMA user_version");
      if (version.next() && version.integer(0) >= kSchemaVersion) return;
    }
    writer_->execute(kSchema);
    madeNow = true;
    if (!hadEarlierFile) return;
    QFile json(earlierFile);
    const QJsonDocument document =
        json.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(json.readAll()) : QJsonDocument();
    earlierReadable = document.isObject();
    if (earlierReadable) importJsonState(document.object(), transaction);
    if (document.object().contains(QStringLiteral("sessions"))) withClearTokens = document.object();
  });
  // Tokens in clear do not wait in the copy kept aside either.
  if (withClearTokens) {
    QSaveFile rewritten(earlierFile);
    const QByteArray bytes = QJsonDocument(withTokensHashed(*withClearTokens)).toJson();
    if (!rewritten.open(QIODevice::WriteOnly) || rewritten.write(bytes) != bytes.size() ||
        !rewritten.commit())
      std::fprintf(stderr, "cannot rewrite %s without its tokens\n", qPrintable(earlierFile));
  }
  // Set aside only once the database holds it: a crash before then carries it over again at the next
  // start. A file found beside a database made earlier was carried over by a start that ended before this.
  if (hadEarlierFile)
    setAside(earlierFile,
             !madeNow || earlierReadable ? QStringLiteral("migrated") : QStringLiteral("unreadable"));
}

SqliteConnection& DevStore::usableWriter() {
  if (!writer_) throw StoreError("the state folder cannot be used");
  return *writer_;
}

QString DevStore::bucketFolder(const QString& bucketID) const {
  return directory_ + QLatin1String("/parts/") + bucketID;
}

QString DevStore::partFile(const QString& bucketID, const QString& fileID, int partNumber) const {
  return bucketFolder(bucketID) + QLatin1Char('/') + fileID + QLatin1String("/part-") +
         QString::number(partNumber);
}

QString DevStore::createSession(const QString& email) {
  const QString token = QStringLiteral("dev-session-") + QUuid::createUuid().toString(QUuid::Id128);
  write([&](StoreTransaction& transaction) {
    transaction.addAccount(email);
    transaction.addSession(tokenHash(token), email);
  });
  return token;
}

std::optional<QString> DevStore::sessionEmail(const QString& token) const {
  return read([&](StoreTransaction& transaction) { return transaction.sessionEmail(tokenHash(token)); });
}

void DevStore::endSession(const QString& token) {
  write([&](StoreTransaction& transaction) { transaction.removeSession(tokenHash(token)); });
}

QString DevStore::tokenHash(const QString& token) {
  return QString::fromLatin1(crypto::sha256(token.toUtf8()).toHex());
}

QString DevStore::newIdentifier(const QString& kind) {
  return kind + QLatin1Char('-') + QUuid::createUuid().toString(QUuid::Id128);
}

// ---- readers --------------------------------------------------------------------------------------------

DevStore::BorrowedReader::BorrowedReader(const DevStore& store) : store_(store) {
  if (!store_.writer_) throw StoreError("the state folder cannot be used");
  {
    const std::lock_guard lock(store_.readersMutex_);
    if (!store_.idleReaders_.empty()) {
      connection_ = std::move(store_.idleReaders_.back());
      store_.idleReaders_.pop_back();
    }
  }
  if (!connection_) connection_ = std::make_unique<SqliteConnection>(store_.databaseFile());
}

DevStore::BorrowedReader::~BorrowedReader() {
  const std::lock_guard lock(store_.readersMutex_);
  store_.idleReaders_.push_back(std::move(connection_));
}

}  // namespace pm::dev
