#include "FakeServiceBuckets.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace pm::test {

namespace {

using Request = FakeService::Request;
using Reply = FakeService::Reply;
using Access = FakeService::Access;

constexpr qint64 kSmallestSealedFile = 36;  // header and one empty record

Reply badRequest(const QString& code) {
  return Reply::error(400, code);
}
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

QByteArray entityTag(const QByteArray& body) {
  return '"' + QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex() + '"';
}

}  // namespace

// ---- files and buckets ----------------------------------------------------------------------------------

bool FakeServiceBuckets::File::isComplete() const {
  if (withdrawn || received.size() != partCount) return false;
  if (!partSize) return true;
  if (confirmed.size() != partCount) return false;
  for (qsizetype i = 0; i < confirmed.size(); ++i) {
    const auto& [number, tag] = confirmed.at(i);
    if (number != i + 1 || tag.toUtf8() != etags.value(int(number))) return false;
  }
  return true;
}

QByteArray FakeServiceBuckets::File::stream() const {
  QByteArray joined;
  for (const QByteArray& part : received) joined += part;
  return joined;
}

std::optional<FakeServiceBuckets::File> FakeServiceBuckets::Bucket::file(const QString& path) const {
  for (const File& candidate : files) {
    if (candidate.path == path) return candidate;
  }
  return std::nullopt;
}

// ---- the routes -----------------------------------------------------------------------------------------

struct FakeServiceBuckets::State {
  QUrl baseUrl;
  QList<Bucket> buckets;
  qint64 partSize = 5 * 1024 * 1024;
  bool reversed = false;
  bool keepsBodies = true;
  int made = 0;

  QUrl shareUrl(const QString& bucketID) const {
    QUrl url = baseUrl;
    url.setPath(QStringLiteral("/s/") + bucketID);
    return url;
  }

  QString uploadUrl(const Bucket& bucket, const File& file, int partNumber) const {
    QUrl url = baseUrl;
    url.setPath(QStringLiteral("/api/uploads/%1/%2/%3").arg(bucket.id, file.id).arg(partNumber));
    return url.toString();
  }

  Bucket* find(const QString& id) {
    for (Bucket& bucket : buckets) {
      if (bucket.id == id) return &bucket;
    }
    return nullptr;
  }

  // The signed-in user's bucket named in the first capture.
  Bucket* ownBucket(const Request& request) {
    Bucket* bucket = find(request.captures.value(0));
    return bucket && bucket->owner == request.email ? bucket : nullptr;
  }

  static File* fileOf(Bucket& bucket, const QString& fileID) {
    for (File& file : bucket.files) {
      if (file.id == fileID) return &file;
    }
    return nullptr;
  }

  Reply create(const Request& request) {
    const QJsonValue key = request.json().value(QStringLiteral("key"));
    const auto decoded =
        QByteArray::fromBase64Encoding(key.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!key.isString() || !decoded || decoded.decoded.size() != 32)
      return badRequest(QStringLiteral("INVALID_KEY"));
    Bucket bucket;
    bucket.id = QStringLiteral("bucket-%1").arg(++made);
    bucket.owner = *request.email;
    bucket.key = decoded.decoded;
    buckets.append(bucket);
    return Reply::json(QJsonObject{{QStringLiteral("id"), bucket.id}});
  }

  QJsonObject plan(const Bucket& bucket, const File& file) const {
    QJsonObject entry{{QStringLiteral("id"), file.id}, {QStringLiteral("path"), file.path}};
    if (!file.partSize) {
      entry.insert(QStringLiteral("url"), uploadUrl(bucket, file, 1));
      entry.insert(QStringLiteral("method"), QStringLiteral("PUT"));
      entry.insert(QStringLiteral("headers"),
                   QJsonObject{{QStringLiteral("Content-Type"), file.contentType}});
      return entry;
    }
    QJsonArray parts;
    for (int number = 1; number <= file.partCount; ++number) {
      const QJsonObject part{{QStringLiteral("partNumber"), number},
                             {QStringLiteral("url"), uploadUrl(bucket, file, number)}};
      if (reversed) {
        parts.prepend(part);
      } else {
        parts.append(part);
      }
    }
    entry.insert(QStringLiteral("partSize"), *file.partSize);
    entry.insert(QStringLiteral("parts"), parts);
    return entry;
  }

  Reply announce(const Request& request) {
    Bucket* bucket = ownBucket(request);
    if (!bucket) return notFound();
    if (bucket->sealed) return badRequest(QStringLiteral("BUCKET_SEALED"));
    const QJsonValue requested = request.json().value(QStringLiteral("files"));
    if (!requested.isArray()) return badRequest(QStringLiteral("BAD_REQUEST"));

    QJsonArray planned;
    QJsonObject rejected;
    for (const QJsonValue& value : requested.toArray()) {
      const QJsonObject wanted = value.toObject();
      const QString path = wanted.value(QStringLiteral("path")).toString();
      const qint64 size = wanted.value(QStringLiteral("size")).toInteger(-1);
      if (!isAcceptablePath(path) || bucket->file(path)) {
        rejected.insert(path, QStringLiteral("INVALID_PATH"));
      } else if (size < kSmallestSealedFile) {
        rejected.insert(path, QStringLiteral("INVALID_SIZE"));
      } else {
        File file;
        file.id = QStringLiteral("file-%1").arg(++made);
        file.path = path;
        file.size = size;
        file.contentType = wanted.value(QStringLiteral("contentType")).toString();
        if (size > partSize) {
          file.partSize = partSize;
          file.partCount = (size + partSize - 1) / partSize;
        }
        bucket->files.append(file);
        planned.append(plan(*bucket, file));
      }
    }
    QJsonObject answer{{QStringLiteral("files"), planned}};
    if (!rejected.isEmpty()) answer.insert(QStringLiteral("rejected"), rejected);
    return Reply::json(answer);
  }

  Reply store(const Request& request) {
    Bucket* bucket = find(request.captures.value(0));
    File* file = bucket ? fileOf(*bucket, request.captures.value(1)) : nullptr;
    if (!file || file->withdrawn || bucket->sealed) return notFound();
    const int number = request.captures.value(2).toInt();
    if (number < 1 || number > file->partCount) return badRequest(QStringLiteral("INVALID_PART"));
    file->received.insert(number, keepsBodies ? request.body : QByteArray());
    file->etags.insert(number, entityTag(request.body));
    file->uploadMethod = request.method;
    file->uploadHeaders = request.headers;
    Reply reply = Reply::raw(200, {});
    reply.headers.insert("ETag", file->etags.value(number));
    return reply;
  }

  Reply confirm(const Request& request) {
    Bucket* bucket = ownBucket(request);
    File* file = bucket ? fileOf(*bucket, request.captures.value(1)) : nullptr;
    if (!file || file->withdrawn) return notFound();
    if (!file->partSize) return badRequest(QStringLiteral("NOT_MULTIPART"));
    file->confirmed.clear();
    for (const QJsonValue& value : request.json().value(QStringLiteral("parts")).toArray()) {
      const QJsonObject tag = value.toObject();
      file->confirmed.append({tag.value(QStringLiteral("partNumber")).toInteger(-1),
                              tag.value(QStringLiteral("etag")).toString()});
    }
    if (!file->isComplete()) return badRequest(QStringLiteral("INVALID_PARTS"));
    return Reply::json(QJsonObject{{QStringLiteral("id"), file->id}});
  }

  Reply remove(const Request& request) {
    Bucket* bucket = ownBucket(request);
    File* file = bucket ? fileOf(*bucket, request.captures.value(1)) : nullptr;
    if (!file || file->withdrawn) return notFound();
    file->withdrawn = true;
    return Reply::json(QJsonObject{{QStringLiteral("deleted"), true}});
  }

  Reply seal(const Request& request) {
    Bucket* bucket = ownBucket(request);
    if (!bucket) return notFound();
    bucket->sealed = true;
    qint64 complete = 0;
    qint64 missing = 0;
    for (const File& file : std::as_const(bucket->files)) {
      if (file.withdrawn) continue;
      ++(file.isComplete() ? complete : missing);
    }
    return Reply::json(QJsonObject{{QStringLiteral("url"), shareUrl(bucket->id).toString()},
                                   {QStringLiteral("files"), complete},
                                   {QStringLiteral("missing"), missing}});
  }
};

FakeServiceBuckets::FakeServiceBuckets(FakeService& service)
    : service_(service), state_(std::make_shared<State>()) {
  state_->baseUrl = service.baseUrl();
  const auto install = [this](const QByteArray& method, const QString& pattern, Access access,
                              Reply (State::*handler)(const Request&)) {
    service_.route(method, pattern, access,
                   [state = state_, handler](const Request& request) { return (*state.*handler)(request); });
  };
  install("POST", QStringLiteral("buckets"), Access::signedIn, &State::create);
  install("POST", QStringLiteral("buckets/([^/]+)/files"), Access::signedIn, &State::announce);
  install("POST", QStringLiteral("buckets/([^/]+)/files/([^/]+)"), Access::signedIn, &State::confirm);
  install("DELETE", QStringLiteral("buckets/([^/]+)/files/([^/]+)"), Access::signedIn, &State::remove);
  install("POST", QStringLiteral("buckets/([^/]+)/seal"), Access::signedIn, &State::seal);
  install("PUT", QStringLiteral("uploads/([^/]+)/([^/]+)/(\\d+)"), Access::open, &State::store);
}

void FakeServiceBuckets::setPartSize(qint64 bytes) {
  const auto guard = service_.lock();
  state_->partSize = bytes;
}

void FakeServiceBuckets::setKeepsBodies(bool keeps) {
  const auto guard = service_.lock();
  state_->keepsBodies = keeps;
}

void FakeServiceBuckets::setPartsListedInReverse(bool reversed) {
  const auto guard = service_.lock();
  state_->reversed = reversed;
}

QList<FakeServiceBuckets::Bucket> FakeServiceBuckets::buckets() const {
  const auto guard = service_.lock();
  return state_->buckets;
}

std::optional<FakeServiceBuckets::Bucket> FakeServiceBuckets::bucket(const QString& id) const {
  const auto guard = service_.lock();
  if (const Bucket* found = state_->find(id)) return *found;
  return std::nullopt;
}

QUrl FakeServiceBuckets::shareUrl(const QString& bucketID) const {
  return state_->shareUrl(bucketID);
}

}  // namespace pm::test
