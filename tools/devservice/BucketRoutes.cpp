#include "BucketRoutes.h"

#include <QCryptographicHash>
#include <QDir>
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

StoredBucket* BucketRoutes::ownBucket(const Request& request) {
  const auto found = store_.buckets.find(request.captures.value(0));
  return found != store_.buckets.end() && found->owner == request.email ? &*found : nullptr;
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
  store_.buckets.insert(bucket.id, bucket);
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
  StoredBucket* bucket = ownBucket(request);
  if (!bucket) return notFound();
  if (bucket->sealed)
    return Reply::error(409, QStringLiteral("BUCKET_SEALED"), QStringLiteral("This bucket is sealed."));
  const QJsonValue requested = request.json().value(QStringLiteral("files"));
  if (!requested.isArray())
    return Reply::error(400, QStringLiteral("BAD_REQUEST"), QStringLiteral("Expected {\"files\": [...]}."));

  QJsonArray planned;
  QJsonObject rejected;
  for (const QJsonValue& value : requested.toArray()) {
    const QJsonObject wanted = value.toObject();
    const QString path = wanted.value(QStringLiteral("path")).toString();
    const qint64 size = wanted.value(QStringLiteral("size")).toInteger(-1);
    if (!isAcceptablePath(path) || bucket->hasLivePath(path)) {
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
    bucket->files.append(file);
    planned.append(plan(*bucket, file));
  }
  QJsonObject answer{{QStringLiteral("files"), planned}};
  if (!rejected.isEmpty()) answer.insert(QStringLiteral("rejected"), rejected);
  return Reply::json(answer);
}

Reply BucketRoutes::store(const Request& request) {
  const auto found = store_.buckets.find(request.captures.value(0));
  StoredFile* file = found != store_.buckets.end() ? found->file(request.captures.value(1)) : nullptr;
  if (!file || file->withdrawn || found->sealed) return notFound();
  const int number = request.captures.value(2).toInt();
  if (number < 1 || number > file->partCount) return Reply::error(400, QStringLiteral("INVALID_PART"));
  if (request.body.size() != expectedPartSize(*file, number))
    return Reply::error(
        400, QStringLiteral("INVALID_PART_SIZE"),
        QStringLiteral("Part %1 should hold %2 bytes.").arg(number).arg(expectedPartSize(*file, number)));
  if (!writeFile(store_.partFile(found->id, file->id, number), request.body))
    return Reply::error(507, QStringLiteral("STORAGE_FAILED"),
                        QStringLiteral("The part could not be stored."));
  const QString etag =
      QLatin1Char('"') +
      QString::fromLatin1(QCryptographicHash::hash(request.body, QCryptographicHash::Md5).toHex()) +
      QLatin1Char('"');
  file->etags.insert(number, etag);
  file->confirmed = false;
  Reply reply;
  reply.contentType = "text/plain";
  reply.headers.insert("ETag", etag.toLatin1());
  return reply;
}

Reply BucketRoutes::confirm(const Request& request) {
  StoredBucket* bucket = ownBucket(request);
  StoredFile* file = bucket ? bucket->file(request.captures.value(1)) : nullptr;
  if (!file || file->withdrawn) return notFound();
  if (!file->partSize) return Reply::error(400, QStringLiteral("NOT_MULTIPART"));
  const QJsonArray tags = request.json().value(QStringLiteral("parts")).toArray();
  bool matches = tags.size() == file->partCount && file->etags.size() == file->partCount;
  for (qsizetype i = 0; matches && i < tags.size(); ++i) {
    const QJsonObject tag = tags.at(i).toObject();
    matches = tag.value(QStringLiteral("partNumber")).toInteger() == i + 1 &&
              tag.value(QStringLiteral("etag")).toString() == file->etags.value(int(i + 1));
  }
  if (!matches)
    return Reply::error(400, QStringLiteral("INVALID_PARTS"),
                        QStringLiteral("The part tags do not match the stored parts."));
  file->confirmed = true;
  return Reply::json(QJsonObject{{QStringLiteral("id"), file->id}});
}

Reply BucketRoutes::withdraw(const Request& request) {
  StoredBucket* bucket = ownBucket(request);
  StoredFile* file = bucket ? bucket->file(request.captures.value(1)) : nullptr;
  if (!file || file->withdrawn) return notFound();
  file->withdrawn = true;
  QDir(store_.bucketFolder(bucket->id) + QLatin1Char('/') + file->id).removeRecursively();
  return Reply::json(QJsonObject{{QStringLiteral("deleted"), true}});
}

Reply BucketRoutes::seal(const Request& request) {
  StoredBucket* bucket = ownBucket(request);
  if (!bucket) return notFound();
  bucket->sealed = true;
  qint64 complete = 0;
  qint64 missing = 0;
  for (const StoredFile& file : std::as_const(bucket->files)) {
    if (file.withdrawn) continue;
    ++(file.isComplete() ? complete : missing);
  }
  return Reply::json(QJsonObject{{QStringLiteral("url"), shareUrl(bucket->id).toString()},
                                 {QStringLiteral("files"), complete},
                                 {QStringLiteral("missing"), missing}});
}

}  // namespace pm::dev
