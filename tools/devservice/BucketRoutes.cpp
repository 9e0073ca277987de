#include "BucketRoutes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSaveFile>

#include "DevStore.h"

namespace pm::dev {

namespace {

constexpr qint64 kSmallestSealedFile = 36;  // header and one empty record

Reply notFound() {
  return Reply::error(404, QStringLiteral("NOT_FOUND"));
}

// A path the service would store: relative, no empty, "." or ".." component.
bool isAcceptablePath(const QString& path) {
  if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) return false;
  const QStringList components = path.split(QLatin1Char('/'));
  return std::none_of(components.cbegin(), components.cend(), [](const QString& component) {
    return component.isEmpty() || component == QLatin1String(".") || component == QLatin1String("..");
  });
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSaveFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

}  // namespace

BucketRoutes::BucketRoutes(DevStore& store, QUrl baseUrl, qint64 partSize)
    : store_(store), baseUrl_(std::move(baseUrl)), partSize_(partSize) {}

void BucketRoutes::install(Router& router) {
  using Access = Router::Access;
  const auto add = [&](const QByteArray& method, const QString& pattern, Access access,
                       Reply (BucketRoutes::*handler)(const Request&)) {
    router.route(method, pattern, access,
                 [this, handler](const Request& request) { return (this->*handler)(request); });
  };
  add("POST", QStringLiteral("/api/buckets"), Access::signedIn, &BucketRoutes::create);
  add("POST", QStringLiteral("/api/buckets/([^/]+)/files"), Access::signedIn, &BucketRoutes::announce);
  add("POST", QStringLiteral("/api/buckets/([^/]+)/files/([^/]+)"), Access::signedIn, &BucketRoutes::confirm);
  add("DELETE", QStringLiteral("/api/buckets/([^/]+)/files/([^/]+)"), Access::signedIn,
      &BucketRoutes::withdraw);
  add("POST", QStringLiteral("/api/buckets/([^/]+)/seal"), Access::signedIn, &BucketRoutes::seal);
  add("PUT", QStringLiteral("/api/uploads/([^/]+)/([^/]+)/(\\d+)"), Access::open, &BucketRoutes::store);
}

QUrl BucketRoutes::shareUrl(const QString& bucketID) const {
  QUrl url = baseUrl_;
  url.setPath(QStringLiteral("/s/") + bucketID);
  return url;
}

QString BucketRoutes::uploadUrl(const StoredBucket& bucket, const StoredFile& file, int partNumber) const {
  QUrl url = baseUrl_;
  url.setPath(QStringLiteral("/api/uploads/%1/%2/%3").arg(bucket.id, file.id).arg(partNumber));
  return url.toString();
}

qint64 BucketRoutes::expectedPartSize(const StoredFile& file, int partNumber) const {
  if (!file.partSize) return file.size;
  return partNumber < file.partCount ? *file.partSize : file.size - (file.partCount - 1) * *file.partSize;
}

std::optional<StoredBucket> BucketRoutes::ownBucket(StoreTransaction& transaction, const Request& request) {
  std::optional<StoredBucket> bucket = transaction.bucket(request.captures.value(0));
  if (!bucket || bucket->owner != request.email) return std::nullopt;
  return bucket;
}

Reply BucketRoutes::create(const Request& request) {
  const QJsonValue key = request.json().value(QStringLiteral("key"));
  const auto decoded =
      QByteArray::fromBase64Encoding(key.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!key.isString() || !decoded || decoded.decoded.size() != 32)
    return Reply::error(400, QStringLiteral("INVALID_KEY"),
                        QStringLiteral("The bucket key must be 32 bytes in Base64."));
  StoredBucket bucket;
  bucket.id = DevStore::newIdentifier(QStringLiteral("bucket"));
  bucket.owner = *request.email;
  bucket.key = decoded.decoded;
  bucket.created = QDateTime::currentDateTimeUtc();
  store_.write([&](StoreTransaction& transaction) { transaction.addBucket(bucket); });
  return Reply::json(QJsonObject{{QStringLiteral("id"), bucket.id}});
}

QJsonObject BucketRoutes::plan(const StoredBucket& bucket, const StoredFile& file) const {
  QJsonObject entry{{QStringLiteral("id"), file.id}, {QStringLiteral("path"), file.path}};
  if (!file.partSize) {
    entry.insert(QStringLiteral("url"), uploadUrl(bucket, file, 1));
    entry.insert(QStringLiteral("method"), QStringLiteral("PUT"));
    entry.insert(QStringLiteral("headers"),
                 QJsonObject{{QStringLiteral("Content-Type"), QStringLiteral("application/octet-stream")}});
    return entry;
  }
  QJsonArray parts;
  for (int number = 1; number <= file.partCount; ++number) {
    parts.append(QJsonObject{{QStringLiteral("partNumber"), number},
                             {QStringLiteral("url"), uploadUrl(bucket, file, number)}});
  }
  entry.insert(QStringLiteral("partSize"), *file.partSize);
  entry.insert(QStringLiteral("parts"), parts);
  return entry;
}

Reply BucketRoutes::announce(const Request& request) {
  const QJsonValue requested = request.json().value(QStringLiteral("files"));
  return store_.write([&](StoreTransaction& transaction) {
    const std::optional<StoredBucket> bucket = ownBucket(transaction, request);
    if (!bucket) return notFound();
    if (bucket->sealed)
      return Reply::error(409, QStringLiteral("BUCKET_SEALED"), QStringLiteral("This bucket is sealed."));
    if (!requested.isArray())
      return Reply::error(400, QStringLiteral("BAD_REQUEST"), QStringLiteral("Expected {\"files\": [...]}."));

    QJsonArray planned;
    QJsonObject rejected;
    for (const QJsonValue& value : requested.toArray()) {
      const QJsonObject wanted = value.toObject();
      const QString path = wanted.value(QStringLiteral("path")).toString();
      const qint64 size = wanted.value(QStringLiteral("size")).toInteger(-1);
      if (!isAcceptablePath(path) || transaction.hasLivePath(bucket->id, path)) {
        rejected.insert(path, QStringLiteral("INVALID_PATH"));
        continue;
      }
      if (size < kSmallestSealedFile) {
        rejected.insert(path, QStringLiteral("INVALID_SIZE"));
        continue;
      }
      StoredFile file;
      file.id = DevStore::newIdentifier(QStringLiteral("file"));
      file.path = path;
      file.size = size;
      file.contentType = wanted.value(QStringLiteral("contentType")).toString();
      if (size > partSize_) {
        file.partSize = partSize_;
        file.partCount = int((size + partSize_ - 1) / partSize_);
      }
      transaction.addFile(bucket->id, file);
      planned.append(plan(*bucket, file));
    }
    QJsonObject answer{{QStringLiteral("files"), planned}};
    if (!rejected.isEmpty()) answer.insert(QStringLiteral("rejected"), rejected);
    return Reply::json(answer);
  });
}

Reply BucketRoutes::store(const Request& request) {
  const QString bucketID = request.captures.value(0);
  const QString fileID = request.captures.value(1);
  const int number = request.captures.value(2).toInt();
  // Whether the part is wanted is read first, the bytes written outside any transaction (they may take a
  // while), and the tag recorded only if the file is still open for them.
  const auto refusal = [&](StoreTransaction& transaction) -> std::optional<Reply> {
    const std::optional<StoredBucket> bucket = transaction.bucket(bucketID);
    const std::optional<StoredFile> file =
        bucket && !bucket->sealed ? transaction.file(bucketID, fileID) : std::nullopt;
    if (!file || file->withdrawn) return notFound();
    if (number < 1 || number > file->partCount) return Reply::error(400, QStringLiteral("INVALID_PART"));
    const qint64 expected = expectedPartSize(*file, number);
    if (request.body.size() != expected)
      return Reply::error(400, QStringLiteral("INVALID_PART_SIZE"),
                          QStringLiteral("Part %1 should hold %2 bytes.").arg(number).arg(expected));
    return std::nullopt;
  };
  if (std::optional<Reply> refused = store_.read(refusal)) return *refused;
  const QString partFile = store_.partFile(bucketID, fileID, number);
  if (!writeFile(partFile, request.body))
    return Reply::error(507, QStringLiteral("STORAGE_FAILED"),
                        QStringLiteral("The part could not be stored."));
  const QString etag =
      QLatin1Char('"') +
      QString::fromLatin1(QCryptographicHash::hash(request.body, QCryptographicHash::Md5).toHex()) +
      QLatin1Char('"');
  std::optional<Reply> refused = store_.write([&](StoreTransaction& transaction) {
    std::optional<Reply> late = refusal(transaction);
    if (!late) transaction.setPartTag(bucketID, fileID, number, etag);
    return late;
  });
  if (refused) {
    // Withdrawn or sealed while the bytes were written: they belong to nothing.
    QFile::remove(partFile);
    return *refused;
  }
  Reply reply;
  reply.contentType = "text/plain";
  reply.headers.insert("ETag", etag.toLatin1());
  return reply;
}

Reply BucketRoutes::confirm(const Request& request) {
  const QJsonArray tags = request.json().value(QStringLiteral("parts")).toArray();
  return store_.write([&](StoreTransaction& transaction) {
    const std::optional<StoredBucket> bucket = ownBucket(transaction, request);
    const std::optional<StoredFile> file =
        bucket ? transaction.file(bucket->id, request.captures.value(1)) : std::nullopt;
    if (!file || file->withdrawn) return notFound();
    if (!file->partSize) return Reply::error(400, QStringLiteral("NOT_MULTIPART"));
    bool matches = tags.size() == file->partCount && file->etags.size() == file->partCount;
    for (qsizetype i = 0; matches && i < tags.size(); ++i) {
      const QJsonObject tag = tags.at(i).toObject();
      matches = tag.value(QStringLiteral("partNumber")).toInteger() == i + 1 &&
                tag.value(QStringLiteral("etag")).toString() == file->etags.value(int(i + 1));
    }
    if (!matches)
      return Reply::error(400, QStringLiteral("INVALID_PARTS"),
                          QStringLiteral("The part tags do not match the stored parts."));
    transaction.confirmFile(bucket->id, file->id);
    return Reply::json(QJsonObject{{QStringLiteral("id"), file->id}});
  });
}

Reply BucketRoutes::withdraw(const Request& request) {
  const std::optional<QString> bucketID = store_.write([&](StoreTransaction& transaction) {
    const std::optional<StoredBucket> bucket = ownBucket(transaction, request);
    const std::optional<StoredFile> file =
        bucket ? transaction.file(bucket->id, request.captures.value(1)) : std::nullopt;
    if (!file || file->withdrawn) return std::optional<QString>();
    transaction.withdrawFile(bucket->id, file->id);
    return std::optional<QString>(bucket->id);
  });
  if (!bucketID) return notFound();
  // Once the file is withdrawn no part of it is taken any more, so its folder can go outside the
  // transaction.
  QDir(store_.bucketFolder(*bucketID) + QLatin1Char('/') + request.captures.value(1)).removeRecursively();
  return Reply::json(QJsonObject{{QStringLiteral("deleted"), true}});
}

Reply BucketRoutes::seal(const Request& request) {
  return store_.write([&](StoreTransaction& transaction) {
    const std::optional<StoredBucket> bucket = ownBucket(transaction, request);
    if (!bucket) return notFound();
    transaction.sealBucket(bucket->id);
    qint64 complete = 0;
    qint64 missing = 0;
    for (const StoredFile& file : transaction.files(bucket->id)) {
      if (file.withdrawn) continue;
      ++(file.isComplete() ? complete : missing);
    }
    return Reply::json(QJsonObject{{QStringLiteral("url"), shareUrl(bucket->id).toString()},
                                   {QStringLiteral("files"), complete},
                                   {QStringLiteral("missing"), missing}});
  });
}

}  // namespace pm::dev
