#include "ParcelmoorUploader.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>

#include <algorithm>

#include "core/Identifiers.h"
#include "core/JsonDecoding.h"
#include "core/ParcelmoorAPI.h"
#include "platform/Async.h"
#include "platform/Crypto.h"
#include "platform/Log.h"
#include "upload/SealedPartDevice.h"
#include "upload/SealedParts.h"
#include "upload/StreamSealer.h"

namespace pm {

namespace {

// The service's reason for refusing a file, in words; codes it may add later are shown as they come.
QString refusalMessage(const QString& code) {
  if (code == QLatin1String("INVALID_PATH"))
    return QCoreApplication::translate("ParcelmoorUploader",
                                       "The service would not accept this file's name.");
  if (code == QLatin1String("INVALID_SIZE"))
    return QCoreApplication::translate("ParcelmoorUploader",
                                       "The service would not accept this file's size.");
  if (code == QLatin1String("TOO_LARGE"))
    return QCoreApplication::translate("ParcelmoorUploader", "This file is too large for a box.");
  return code;
}

// A random source that "succeeded" with nothing but zeros has failed all the same.
std::optional<QByteArray> makeBucketKey() {
  std::optional<QByteArray> key = crypto::randomBytes(crypto::kAesKeyBytes);
  if (!key || std::all_of(key->cbegin(), key->cend(), [](char byte) { return byte == 0; }))
    return std::nullopt;
  return key;
}

// How many part files a file of `plainSize` bytes seals into when each holds at most `partSize` bytes.
qint64 sealedPartCount(qint64 plainSize, qint64 partSize) {
  const qint64 length = sealedLength(plainSize);
  const qint64 limit = std::max<qint64>(partSize, 1);
  return length / limit + (length % limit != 0 ? 1 : 0);
}

// ---- the service's answers ------------------------------------------------------------------------------

[[noreturn]] void wrongType(QStringView key, const char* expected) {
  throw JsonDecodingError(QStringLiteral("The value of \"%1\" is not %2.").arg(key, QLatin1String(expected)));
}

std::optional<QJsonValue> presentValue(const QJsonObject& object, QStringView key) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined() || value.isNull()) return std::nullopt;
  return value;
}

std::optional<QList<QJsonObject>> optionalObjects(const QJsonObject& object, QStringView key) {
  const auto value = presentValue(object, key);
  if (!value) return std::nullopt;
  if (!value->isArray()) wrongType(key, "an array");
  QList<QJsonObject> objects;
  for (const QJsonValue& element : value->toArray()) {
    if (!element.isObject()) wrongType(key, "an array of objects");
    objects.append(element.toObject());
  }
  return objects;
}

QList<QJsonObject> requiredObjects(const QJsonObject& object, QStringView key) {
  auto objects = optionalObjects(object, key);
  if (!objects) throw JsonDecodingError(QStringLiteral("The key \"%1\" is missing.").arg(key));
  return *std::move(objects);
}

// Keys in the order the answer's object sorts them.
std::optional<QList<std::pair<QString, QString>>> optionalStrings(const QJsonObject& object,
                                                                  QStringView key) {
  const auto value = presentValue(object, key);
  if (!value) return std::nullopt;
  if (!value->isObject()) wrongType(key, "an object");
  const QJsonObject strings = value->toObject();
  QList<std::pair<QString, QString>> pairs;
  for (auto it = strings.constBegin(); it != strings.constEnd(); ++it) {
    if (!it.value().isString()) wrongType(key, "an object of strings");
    pairs.append({it.key(), it.value().toString()});
  }
  return pairs;
}

struct PlannedPart {
  qint64 partNumber = 0;
  QString url;
};

// One entry of the service's plan for the announced files.
struct PlannedFile {
  QString id;
  QString path;
  std::optional<QString> url;
  std::optional<QString> method;
  std::optional<QList<std::pair<QString, QString>>> headers;
  std::optional<qint64> partSize;
  QList<PlannedPart> parts;
};

struct FilesAnswer {
  QList<PlannedFile> files;
  QList<std::pair<QString, QString>> rejected;  // path, code
};

PlannedFile decodePlannedFile(const QJsonObject& object) {
  PlannedFile file;
  file.id = requiredString(object, u"id");
  file.path = requiredString(object, u"path");
  file.url = optionalString(object, u"url");
  file.method = optionalString(object, u"method");
  file.headers = optionalStrings(object, u"headers");
  file.partSize = optionalInteger(object, u"partSize");
  for (const QJsonObject& part : optionalObjects(object, u"parts").value_or(QList<QJsonObject>{}))
    file.parts.append({requiredInteger(part, u"partNumber"), requiredString(part, u"url")});
  return file;
}

// Decoded whole before anything is recorded, so an answer that does not fit leaves no half-made plan.
FilesAnswer decodeFilesAnswer(const QByteArray& body) {
  const QJsonObject object = decodeJsonObject(body);
  FilesAnswer answer;
  for (const QJsonObject& file : requiredObjects(object, u"files"))
    answer.files.append(decodePlannedFile(file));
  answer.rejected = optionalStrings(object, u"rejected").value_or(QList<std::pair<QString, QString>>{});
  return answer;
}

// ---- plans ---------------------------------------------------------------------------------------------

std::optional<ParcelmoorUploader::Target> makeTarget(PlannedFile file) {
  ParcelmoorUploader::Target target;
  target.fileID = std::move(file.id);
  if (file.partSize && !file.parts.isEmpty()) {
    std::stable_sort(file.parts.begin(), file.parts.end(),
                     [](const PlannedPart& a, const PlannedPart& b) { return a.partNumber < b.partNumber; });
    for (const PlannedPart& part : std::as_const(file.parts)) {
      const std::optional<QUrl> url = absoluteUrl(part.url);
      if (!url) return std::nullopt;
      target.parts.append(*url);
    }
    target.partSize = file.partSize;
    return target;
  }
  const std::optional<QUrl> url = absoluteUrl(file.url.value_or(QString()));
  if (!url) return std::nullopt;
  target.parts.append(*url);
  target.method = file.method.value_or(QStringLiteral("PUT"));
  for (const auto& [name, value] : file.headers.value_or(QList<std::pair<QString, QString>>{}))
    target.headers.insert(name, value);
  return target;
}

// The first of the path itself, "name 2.ext", "name 3.ext", ... that `taken` does not hold; it is taken.
QString takeUniquePath(QSet<QString>& taken, const QString& relativePath) {
  QString candidate = relativePath;
  for (qint64 n = 2; taken.contains(candidate); ++n) candidate = numberedPath(relativePath, n);
  taken.insert(candidate);
  return candidate;
}

// ---- announcing ----------------------------------------------------------------------------------------
// Naming the files, writing the announcement and reading the plan cost in proportion to the batch: for a
// folder of many thousand files that is a few hundred milliseconds in which the bar would not answer the
// pointer. So they run on a worker, on copies, and the main thread only records the outcome.

struct Announcement {
  QByteArray body;               // the request's JSON text
  QHash<QString, qsizetype> at;  // announced path -> index of its unit
  QSet<QString> takenPaths;      // the uploader's, with the paths chosen now
};

Announcement announce(const QList<UploadUnit>& units, QSet<QString> takenPaths) {
  Announcement announcement;
  announcement.at.reserve(units.size());
  QJsonArray requests;
  for (qsizetype index = 0; index < units.size(); ++index) {
    const UploadUnit& unit = units.at(index);
    const QString path = takeUniquePath(takenPaths, unit.relativePath);
    announcement.at.insert(path, index);
    requests.append(QJsonObject{{QStringLiteral("path"), path},
                                {QStringLiteral("size"), sealedLength(unit.size)},
                                {QStringLiteral("contentType"), mimeType(unit.url)}});
  }
  announcement.body =
      QJsonDocument(QJsonObject{{QStringLiteral("files"), requests}}).toJson(QJsonDocument::Compact);
  announcement.takenPaths = std::move(takenPaths);
  return announcement;
}

// The plan of the service's answer by unit: a target, or none for a planned file without a usable URL.
struct Plan {
  QList<std::pair<qsizetype, std::optional<ParcelmoorUploader::Target>>> planned;  // in the answer's order
  QList<std::pair<qsizetype, QString>> rejected;                                    // unit, code
};

Plan readPlan(const QByteArray& answer, const QHash<QString, qsizetype>& at) {
  FilesAnswer decoded = decodeFilesAnswer(answer);
  Plan plan;
  plan.planned.reserve(decoded.files.size());
  for (PlannedFile& file : decoded.files) {
    const auto unit = at.constFind(file.path);
    if (unit != at.cend()) plan.planned.append({*unit, makeTarget(std::move(file))});
  }
  for (const auto& [path, code] : std::as_const(decoded.rejected)) {
    const auto unit = at.constFind(path);
    if (unit != at.cend()) plan.rejected.append({*unit, code});
  }
  return plan;
}

}  // namespace

// ---- the uploader ---------------------------------------------------------------------------------------

ParcelmoorUploader::ParcelmoorUploader(QNetworkAccessManager& network, ParcelmoorAPI& api, QObject* parent)
    : BucketUploader(network, parent), api_(api) {
  if (std::optional<QByteArray> key = makeBucketKey()) {
    key_ = *std::move(key);
  } else {
    qCWarning(lcUpload, "the random source failed; no bucket key");
    keyFailure_ = UploadError::rejected(QCoreApplication::translate(
        "ParcelmoorUploader",
        "The system's random number source failed, so this bucket could not be encrypted."));
  }
}

ParcelmoorUploader::~ParcelmoorUploader() = default;

const QByteArray& ParcelmoorUploader::key() const {
  if (keyFailure_) throw *keyFailure_;
  return key_;
}

QCoro::Task<QString> ParcelmoorUploader::ensureBucket() {
  // A copy: QCoro's co_return moves from a non-const lvalue, which would empty the member.
  if (bucketID_) co_return QString(*bucketID_);
  const QPointer<ParcelmoorUploader> self(this);
  const QString path = QStringLiteral("buckets");
  const QByteArray method = QByteArrayLiteral("POST");
  const std::optional<QJsonValue> body =
      QJsonObject{{QStringLiteral("key"), QString::fromLatin1(key().toBase64())}};
  const QByteArray answer = co_await api_.authorizedRequest(path, method, body);
  if (!self) throw UploadError::cancelled();

  const QString id = requiredString(decodeJsonObject(answer), u"id");
  qCInfo(lcUpload, "bucket %s opened", qUtf8Printable(id));
  bucketID_ = id;
  co_return id;
}

QString ParcelmoorUploader::uniquePath(const QString& relativePath) {
  return takeUniquePath(takenPaths_, relativePath);
}

QCoro::Task<Registration> ParcelmoorUploader::registerUnits(QList<UploadUnit> units) {
  const QPointer<ParcelmoorUploader> self(this);
  const QString bucket = co_await ensureBucket();
  if (!self) throw UploadError::cancelled();

  const QString path = QStringLiteral("buckets/%1/files").arg(bucket);
  const QByteArray method = QByteArrayLiteral("POST");
  Registration registration;
  // At most kFilesPerAnnouncement files a request: the plan for a folder of a hundred thousand files would
  // pass what one answer may hold (and what the agent should hold of it at once). A batch of none is still
  // announced once.
  for (qsizetype first = 0; first == 0 || first < units.size(); first += kFilesPerAnnouncement) {
    const QList<UploadUnit> slice = units.mid(first, kFilesPerAnnouncement);
    // The taken paths go along and come back: one registration runs at a time, and nothing else names
    // files. Named, not made inside the co_await: GCC 12 mishandles the temporaries of one.
    auto announcing = [slice, taken = std::exchange(takenPaths_, {})]() mutable {
      return announce(slice, std::move(taken));
    };
    QCoro::Task<Announcement> announced = runOnWorker(std::move(announcing));
    Announcement announcement = co_await std::move(announced);
    if (!self) throw UploadError::cancelled();
    takenPaths_ = std::move(announcement.takenPaths);

    ParcelmoorAPI::Body body = ParcelmoorAPI::Body::writtenJson(std::move(announcement.body));
    QByteArray answer = co_await api_.authorizedRequest(path, method, std::move(body));
    if (!self) throw UploadError::cancelled();

    auto reading = [answer = std::move(answer), at = std::move(announcement.at)] {
      return readPlan(answer, at);
    };
    QCoro::Task<Plan> read = runOnWorker(std::move(reading));
    const Plan plan = co_await std::move(read);
    if (!self) throw UploadError::cancelled();
    registration.destinations.reserve(registration.destinations.size() + plan.planned.size());
    targets_.reserve(targets_.size() + plan.planned.size());
    for (const auto& [index, target] : plan.planned) {
      const UploadUnit& unit = slice.at(index);
      unstored_.insert(unit.id);
      if (!target) {
        registration.refused.insert(unit.id, UploadError::notRegistered());
        continue;
      }
      registration.destinations.append(
          UploadDestination{unit.id, target->parts.first(), QStringLiteral("PUT"), {}});
      targets_.insert(unit.id, *target);
    }
    for (const auto& [index, code] : plan.rejected)
      registration.refused.insert(slice.at(index).id, UploadError::rejected(refusalMessage(code)));
  }
  qCInfo(lcUpload, "announced %lld files: %lld accepted, %lld refused", qint64(units.size()),
         qint64(registration.destinations.size()), qint64(registration.refused.size()));
  co_return registration;
}

QCoro::Task<> ParcelmoorUploader::upload(UploadUnit unit, UploadDestination /*destination*/,
                                         ProgressCallback progress, CancelTokenPtr cancel) {
  const auto found = targets_.constFind(unit.id);
  // A stored unit's target keeps only its file, for withdrawing it: its upload URLs are spent.
  if (found == targets_.cend() || found->parts.isEmpty()) throw UploadError::notRegistered();
  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();
  const Target target = *found;
  const QByteArray sealingKey = key();
  // A plan that cannot hold the sealed file is found out before the file is read, not after.
  if (target.partSize && sealedPartCount(unit.size, *target.partSize) != target.parts.size())
    throw sealedFileChanged();
  // The service was told the sealed length of this size: a file that has since grown or shrunk would
  // arrive cut off or padded, so it is refused instead.
  const std::shared_ptr<StreamSealer> sealer = StreamSealer::open(unit.url, unit.size, sealingKey);

  const QPointer<ParcelmoorUploader> self(this);
  if (target.partSize) {
    co_await uploadParts(sealer, unit, target, progress, cancel);
  } else {
    const UploadDestination whole{unit.id, target.parts.first(), target.method, target.headers};
    const PartPosition all{0, 1};
    co_await sendSealed(sealer, 0, sealer->length(), all, whole, progress, cancel);
  }
  if (!self) co_return;
  self->unstored_.remove(unit.id);
  // A hundred thousand files' upload URLs would otherwise stay for the life of the bucket.
  if (const auto stored = self->targets_.find(unit.id); stored != self->targets_.end())
    *stored = Target{stored->fileID, {}, {}, QStringLiteral("PUT"), {}};
}

QCoro::Task<> ParcelmoorUploader::uploadParts(std::shared_ptr<StreamSealer> sealer, UploadUnit unit,
                                              Target target, ProgressCallback progress,
                                              CancelTokenPtr cancel) {
  const QPointer<ParcelmoorUploader> self(this);
  const qint64 partSize = std::max<qint64>(*target.partSize, 1);
  const double count = double(target.parts.size());
  QJsonArray tags;
  for (qsizetype index = 0; index < target.parts.size(); ++index) {
    const qint64 begin = qint64(index) * partSize;
    const qint64 length = std::min(partSize, sealer->length() - begin);
    const PartPosition position{index, count};
    const UploadDestination destination{unit.id, target.parts.at(index), QStringLiteral("PUT"), {}};
    const UploadResponse response =
        co_await sendSealed(sealer, begin, length, position, destination, progress, cancel);
    if (!self) throw UploadError::cancelled();
    const QByteArray etag = response.header("ETag");
    if (etag.isEmpty())
      throw UploadError::transport(QCoreApplication::translate(
          "ParcelmoorUploader", "The storage service did not confirm every part."));
    tags.append(QJsonObject{{QStringLiteral("partNumber"), index + 1},
                            {QStringLiteral("etag"), QString::fromUtf8(etag)}});
  }
  if (!bucketID_) throw UploadError::notRegistered();
  const QString path = QStringLiteral("buckets/%1/files/%2").arg(*bucketID_, target.fileID);
  const QByteArray method = QByteArrayLiteral("POST");
  const std::optional<QJsonValue> body = QJsonObject{{QStringLiteral("parts"), tags}};
  co_await api_.authorizedRequest(path, method, body, cancel);
}

QCoro::Task<UploadResponse> ParcelmoorUploader::sendSealed(std::shared_ptr<StreamSealer> sealer, qint64 begin,
                                                           qint64 length, PartPosition position,
                                                           UploadDestination destination,
                                                           ProgressCallback progress, CancelTokenPtr cancel) {
  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();
  // The request ends when the user cancels or when the sealing fails, whichever comes first; a failed
  // sealing then reports its own cause rather than the transfer it cut short.
  const CancelTokenPtr request = makeCancelToken();
  if (cancel) connect(cancel.get(), &CancelToken::cancelled, request.get(), &CancelToken::cancel);
  auto body = std::make_unique<SealedPartDevice>(sealer, begin, length, sealingPool());
  connect(body.get(), &SealedPartDevice::failed, request.get(), &CancelToken::cancel);
  connect(request.get(), &CancelToken::cancelled, body.get(), &SealedPartDevice::stopSealing);
  std::exception_ptr failure;
  try {
    std::unique_ptr<QIODevice> device = std::move(body);
    UploadResponse response =
        co_await uploadBody(std::move(device), position, destination, progress, request);
    if (const std::optional<UploadError> sealing = sealer->failure()) throw *sealing;
    co_return response;
  } catch (...) {
    failure = std::current_exception();
  }
  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();
  if (const std::optional<UploadError> sealing = sealer->failure()) throw *sealing;
  std::rethrow_exception(failure);
}

QCoro::Task<> ParcelmoorUploader::withdraw(QList<UploadUnit> units) {
  if (!bucketID_ || units.isEmpty()) co_return;
  const QPointer<ParcelmoorUploader> self(this);
  const QString bucket = *bucketID_;
  const QByteArray method = QByteArrayLiteral("DELETE");
  const std::optional<QJsonValue> noBody;
  for (const UploadUnit& unit : std::as_const(units)) {
    if (!self) co_return;
    const auto found = targets_.find(unit.id);
    if (found == targets_.end()) continue;
    const QString path = QStringLiteral("buckets/%1/files/%2").arg(bucket, found->fileID);
    targets_.erase(found);
    unstored_.remove(unit.id);
    try {
      co_await api_.authorizedRequest(path, method, noBody);
    } catch (...) {
      // The file stays announced; the service leaves it out of the share once the bucket is sealed.
      qCDebug(lcUpload, "withdrawing a file failed: %s",
              qUtf8Printable(UploadError::from(std::current_exception()).message()));
    }
  }
}

QCoro::Task<ResponseItem> ParcelmoorUploader::finalize() {
  if (!bucketID_) throw UploadError::notRegistered();
  const QPointer<ParcelmoorUploader> self(this);
  const QString bucket = *bucketID_;
  const QString path = QStringLiteral("buckets/%1/seal").arg(bucket);
  const QByteArray method = QByteArrayLiteral("POST");
  const std::optional<QJsonValue> noBody;
  const QByteArray answer = co_await api_.authorizedRequest(path, method, noBody);

  const QJsonObject sealed = decodeJsonObject(answer);
  const QString link = requiredString(sealed, u"url");
  const qint64 files = requiredInteger(sealed, u"files");
  const qint64 missing = requiredInteger(sealed, u"missing");
  const std::optional<QUrl> share = absoluteUrl(link);
  if (!share)
    throw UploadError::transport(QCoreApplication::translate(
        "ParcelmoorUploader", "The service sent a share link we could not read."));
  ResponseItem result = ResponseItem::copied(*share);
  if (self) {
    self->sealed_ = true;
    // The files whose upload failed here are named by the session; what the service lacks beyond them
    // went missing where nobody saw it.
    result.unnamedMissingFiles = std::max<qint64>(missing - qint64(self->unstored_.size()), 0);
  }
  qCInfo(lcUpload, "bucket %s sealed: %lld files, %lld missing", qUtf8Printable(bucket), files, missing);
  co_return result;
}

}  // namespace pm
