#include "CustomS3Uploader.h"
#include "upload/PathPieces.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QXmlStreamReader>

#include <QCoroNetworkReply>

#include <algorithm>
#include <memory>

#include "core/Identifiers.h"
#include "core/S3Credentials.h"
#include "platform/Log.h"
#include "platform/NetworkRequest.h"
#include "upload/BoxRegistration.h"
#include "upload/EarlyAnswerProbe.h"
#include "upload/FileRangeDevice.h"
#include "upload/S3ObjectKeys.h"

namespace pm {

namespace {

using s3multipart::FinishedPart;

QString translated(const char* text) { return QCoreApplication::translate("CustomS3Uploader", text); }

UploadError missingCredentials() {
  return UploadError::rejected(translated("Add an access key and secret to this connection in Settings."));
}

UploadError nameless() { return UploadError::rejected(translated("This file has no name the bucket can store it under.")); }

UploadError unsendableName(const QString& piece) {
  return UploadError::rejected(
      translated("The name \u201C%1\u201D cannot be sent to the storage service as it is. Rename it and try again.")
          .arg(piece));
}

// The key folder without the "." and ".." pieces a typed prefix may hold ("./x", "../../elsewhere"): they
// would move the objects elsewhere in the bucket, or out of it, when Qt resolves them.
QString keyFolder(const QString& keyPrefix, const QDateTime& now) {
  return cleanPath(timestampedKeyPrefix(keyPrefix, now)) + QLatin1Char('/');
}

UploadError unaddressable() {
  return UploadError::rejected(translated("The endpoint or bucket name could not be read as an address."));
}

// How long a refusal's answer is waited for when the header is asked again on its own.
constexpr std::chrono::seconds kEarlyAnswerWait{10};

const Clock& systemClock() {
  static const SystemClock clock;
  return clock;
}

std::optional<S3Signer> makeSigner(const UploaderConfig& config, const Keychain& keychain) {
  const std::optional<S3Credentials> credentials = S3Credentials::load(keychain, config.id);
  if (!credentials) return std::nullopt;
  const QString region = config.region.isEmpty() ? QStringLiteral("auto") : config.region;
  return S3Signer(credentials->accessKeyID, credentials->secretAccessKey, region);
}

// The last non-empty piece of an object key: the name people see in the box.
QString lastPathPiece(const QString& key) {
  const QStringList pieces = key.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  return pieces.isEmpty() ? QString() : pieces.last();
}

// The unit's file must still have the size it was registered with: the key folder's manifest promises
// that size, and a multipart upload copies exactly that many bytes.
void ensureUnchanged(const UploadUnit& unit) {
  const QFileInfo file(unit.url);
  if (!file.exists()) throw UploadError::fileUnreadable();
  if (file.size() != unit.size) throw s3multipart::fileChanged();
}

struct DeleteLater {
  void operator()(QObject* object) const { object->deleteLater(); }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, DeleteLater>;

// What a control request's reply amounts to when no HTTP status came back.
UploadError unanswered(const QNetworkReply& reply) {
  const QNetworkReply::NetworkError error = reply.error();
  // The transfer timeout aborts the reply; our own cancellation was ruled out before.
  if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
    return UploadError::transport(translated("The request timed out."));
  // Qt's "Unknown error" tells nobody anything.
  if (error != QNetworkReply::NoError && error != QNetworkReply::UnknownNetworkError && !reply.errorString().isEmpty())
    return UploadError::transport(reply.errorString());
  return UploadError::transport(translated("The storage service sent an unexpected response."));
}

// An S3 error document's own words, else `fallback`.
QString errorText(const QByteArray& body, const QString& fallback) {
  const std::optional<QString> message = xmlValue(u"Message", body);
  return message && !message->isEmpty() ? *message : fallback;
}

// S3 answers a PUT it refuses (a bad signature, a wrong region, no permission) as soon as it has the
// header and drops the connection; Qt, still writing the body, never reads that answer. Asked again with
// the header alone, the storage service says it once more, and its own words reach the user.
QCoro::Task<UploadError> cutOffFailure(UploadDestination destination, qint64 bodyLength) {
  const std::optional<EarlyAnswer> answer = co_await probeEarlyAnswer(destination, bodyLength, kEarlyAnswerWait);
  if (answer && (answer->status < 200 || answer->status > 299)) {
    const std::optional<QString> code = xmlValue(u"Code", answer->body);
    qCWarning(lcUpload, "%s s3: HTTP %d %s before the body", qUtf8Printable(destination.method), answer->status,
              qUtf8Printable(code.value_or(QStringLiteral("no code"))));
    co_return UploadError::rejected(errorText(answer->body, s3StatusMessage(answer->status)));
  }
  co_return UploadError::transport(
      translated("The storage service closed the connection without an answer, as it does when it refuses an "
                 "upload. Check the access key, the secret, the region and the bucket's permissions."));
}

}  // namespace

// ---- construction -----------------------------------------------------------------------------------

CustomS3Uploader::CustomS3Uploader(UploaderConfig config, qint64 partSize, qint64 multipartThreshold,
                                   QNetworkAccessManager& network, ParcelmoorAPI& api, const Keychain& keychain,
                                   SharedDefaults& defaults, QObject* parent)
    : CustomS3Uploader(std::move(config), partSize, multipartThreshold, network, api, keychain, defaults,
                       systemClock(), parent) {}

CustomS3Uploader::CustomS3Uploader(UploaderConfig config, qint64 partSize, qint64 multipartThreshold,
                                   QNetworkAccessManager& network, ParcelmoorAPI& api, const Keychain& keychain,
                                   SharedDefaults& defaults, const Clock& clock, QObject* parent)
    : BucketUploader(network, parent),
      config_(std::move(config)),
      partSize_(std::max<qint64>(partSize, 1)),
      multipartThreshold_(multipartThreshold),
      network_(network),
      api_(api),
      keychain_(keychain),
      defaults_(defaults),
      clock_(clock),
      signer_(makeSigner(config_, keychain)),
      folder_(keyFolder(config_.keyPrefix, clock.now())) {}

CustomS3Uploader::~CustomS3Uploader() = default;

std::optional<QUrl> CustomS3Uploader::objectURL(const QString& key) const {
  return S3Signer::objectURL(config_.endpoint, config_.bucketName, key);
}

QString CustomS3Uploader::uniqueKey(const QString& relativePath) {
  const QString base = folder_ + relativePath;
  QString candidate = base;
  for (qint64 n = 2; takenKeys_.contains(candidate); ++n) candidate = numberedPath(base, n);
  takenKeys_.insert(candidate);
  return candidate;
}

// ---- registering ------------------------------------------------------------------------------------

QCoro::Task<Registration> CustomS3Uploader::registerUnits(QList<UploadUnit> units) {
  if (!signer_) throw missingCredentials();
  Registration registration;
  for (const UploadUnit& unit : units) {
    // A key is exactly what is signed, sent, stored and listed in the box: no piece Qt would resolve.
    const QString relativePath = cleanPath(unit.relativePath);
    if (relativePath.isEmpty()) {
      registration.refused.insert(unit.id, nameless());
      continue;
    }
    // Taken even when no address can be formed, so a later file of the same path never reuses it.
    const QString key = uniqueKey(relativePath);
    const std::optional<QUrl> object = objectURL(key);
    if (object && !s3keys::sentAsIs(*object)) {
      registration.refused.insert(unit.id, unsendableName(s3keys::rewrittenPiece(key).value_or(key)));
      continue;
    }
    const std::optional<QUrl> presigned =
        object ? signer_->presign(QStringLiteral("PUT"), *object, {}, kPresignExpiry, clock_.now()) : std::nullopt;
    if (!presigned) {
      registration.refused.insert(unit.id, unaddressable());
      continue;
    }
    if (!keys_.contains(unit.id)) registrationOrder_.append(unit.id);
    keys_.insert(unit.id, key);
    sizes_.insert(unit.id, unit.size);
    registration.destinations.append(UploadDestination{
        unit.id, *presigned, QStringLiteral("PUT"), {{QStringLiteral("Content-Type"), mimeType(unit.url)}}});
  }
  qCInfo(lcUpload, "signed %lld of %lld destinations", qlonglong(registration.destinations.size()),
         qlonglong(units.size()));
  co_return registration;
}

// ---- uploading --------------------------------------------------------------------------------------

QCoro::Task<> CustomS3Uploader::upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                                       CancelTokenPtr cancel) {
  const QPointer<CustomS3Uploader> self(this);
  try {
    if (unit.size <= multipartThreshold_) {
      ensureUnchanged(unit);
      std::optional<UploadError> failure;
      try {
        co_await uploadFile(unit.url, destination, progress, cancel);
      } catch (const UploadError& error) {
        failure = error;
      }
      if (failure && *failure == UploadError::transport(cutOffText()))
        failure = co_await cutOffFailure(destination, unit.size);
      if (failure) throw *failure;
      // A file that changed while it travelled was stored as neither its old nor its new self.
      ensureUnchanged(unit);
    } else {
      co_await uploadMultipart(unit, progress, cancel);
    }
  } catch (const UploadError& error) {
    if (error.kind() == UploadError::Kind::http) throw UploadError::rejected(s3StatusMessage(int(error.status())));
    throw;
  }
  if (self) self->stored_.insert(unit.id);
}

QCoro::Task<> CustomS3Uploader::uploadMultipart(UploadUnit unit, ProgressCallback progress, CancelTokenPtr cancel) {
  const auto key = keys_.constFind(unit.id);
  const std::optional<QUrl> object = signer_ && key != keys_.constEnd() ? objectURL(*key) : std::nullopt;
  if (!object) throw UploadError::notRegistered();
  const qint64 partCount = s3multipart::partCount(unit.size, partSize_);
  if (partCount > s3multipart::kMaxParts)
    throw UploadError::rejected(translated("This file is too large for the bucket's part limit."));
  ensureUnchanged(unit);

  const QPointer<CustomS3Uploader> self(this);
  const QString post = QStringLiteral("POST");
  const S3Signer::QueryItems startQuery{{QStringLiteral("uploads"), QString()}};
  const std::optional<QByteArray> noBody;
  const QByteArray started = co_await s3Request(post, *object, startQuery, noBody, cancel);
  if (!self) throw UploadError::cancelled();
  const std::optional<QString> uploadID = xmlValue(u"UploadId", started);
  if (!uploadID) throw UploadError::transport(translated("The storage service did not start a multipart upload."));
  openMultiparts_.insert(unit.id, *uploadID);
  qCInfo(lcUpload, "multipart %lld parts for %lld bytes", qlonglong(partCount), qlonglong(unit.size));

  std::exception_ptr failure;
  try {
    const QList<FinishedPart> parts = co_await uploadParts(unit, *uploadID, partCount, *object, progress, cancel);
    // Bytes added after the last part was copied would be missing from the object.
    ensureUnchanged(unit);
    if (!self) throw UploadError::cancelled();
    const S3Signer::QueryItems completeQuery{{QStringLiteral("uploadId"), *uploadID}};
    const std::optional<QByteArray> document = s3multipart::completeMultipartBody(parts);
    co_await s3Request(post, *object, completeQuery, document, cancel);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure && self) co_await abortMultipart(*object, *uploadID);
  if (self) self->openMultiparts_.remove(unit.id);
  if (failure) std::rethrow_exception(failure);
}

QCoro::Task<QList<FinishedPart>> CustomS3Uploader::uploadParts(UploadUnit unit, QString uploadID, qint64 partCount,
                                                               QUrl objectURL, ProgressCallback progress,
                                                               CancelTokenPtr cancel) {
  if (!signer_) throw missingCredentials();
  const QPointer<CustomS3Uploader> self(this);
  const qint64 partSize = partSize_;

  QList<FinishedPart> parts;
  for (qint64 number = 1; number <= partCount; ++number) {
    if ((cancel && cancel->isCancelled()) || !self) throw UploadError::cancelled();
    // Each part is read straight from its range of the file as the socket drains: no copy, and nothing
    // for the main thread to do between two parts.
    ensureUnchanged(unit);
    const qint64 offset = (number - 1) * partSize;
    auto body = std::make_unique<FileRangeDevice>(unit.url, offset, std::min(partSize, unit.size - offset));
    if (!body->open(QIODevice::ReadOnly)) {
      if (body->endedEarly()) throw s3multipart::fileChanged();
      throw UploadError::fileUnreadable();
    }

    const S3Signer::QueryItems query{{QStringLiteral("partNumber"), QString::number(number)},
                                     {QStringLiteral("uploadId"), uploadID}};
    const std::optional<QUrl> url =
        self->signer_->presign(QStringLiteral("PUT"), objectURL, query, kPresignExpiry, self->clock_.now());
    if (!url) throw unaddressable();
    const UploadDestination destination{unit.id, *url, QStringLiteral("PUT"), {}};
    const PartPosition position{number - 1, double(partCount)};
    std::unique_ptr<QIODevice> device = std::move(body);
    QCoro::Task<UploadResponse> sending = uploadBody(std::move(device), position, destination, progress, cancel);
    UploadResponse response;
    std::optional<UploadError> failure;
    try {
      response = co_await std::move(sending);
    } catch (const UploadError& error) {
      failure = error;
    }
    if (failure && failure->kind() == UploadError::Kind::transport) {
      // A part cut short because the file changed under it is that, not a network failure.
      ensureUnchanged(unit);
      if (*failure == UploadError::transport(cutOffText()))
        failure = co_await cutOffFailure(destination, std::min(partSize, unit.size - offset));
    }
    if (failure) throw *failure;

    const QByteArray etag = response.header("ETag");
    if (etag.isEmpty()) throw UploadError::transport(translated("The storage service did not confirm every part."));
    parts.append(FinishedPart{number, QString::fromLatin1(etag)});
  }
  co_return parts;
}

QCoro::Task<> CustomS3Uploader::abortMultipart(QUrl objectURL, QString uploadID) {
  const QString method = QStringLiteral("DELETE");
  const S3Signer::QueryItems query{{QStringLiteral("uploadId"), uploadID}};
  const std::optional<QByteArray> noBody;
  // Sent even when the upload was cancelled: the parts already stored would otherwise be kept (and
  // billed) by the storage service.
  const CancelTokenPtr uncancellable;
  try {
    co_await s3Request(method, objectURL, query, noBody, uncancellable);
  } catch (...) {
    // The first failure is the one the user sees; an upload left open expires under the bucket's rules.
  }
}

// ---- control requests -------------------------------------------------------------------------------

// Touches nothing of `this` after the request is sent, so the uploader may go away meanwhile.
QCoro::Task<QByteArray> CustomS3Uploader::s3Request(QString method, QUrl url, S3Signer::QueryItems query,
                                                    std::optional<QByteArray> body, CancelTokenPtr cancel) {
  const std::optional<QUrl> presigned =
      signer_ ? signer_->presign(method, url, query, kPresignExpiry, clock_.now()) : std::nullopt;
  if (!presigned) throw missingCredentials();
  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();

  QNetworkRequest request = networkRequest(*presigned);
  request.setTransferTimeout(int(requestTimeout().count()));
  const QByteArray payload = body.value_or(QByteArray());
  if (body) request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/xml"));
  request.setHeader(QNetworkRequest::ContentLengthHeader, payload.size());
  ReplyPtr reply(network_.sendCustomRequest(request, method.toUtf8(), payload));
  if (cancel) connect(cancel.get(), &CancelToken::cancelled, reply.get(), &QNetworkReply::abort);

  co_await reply.get();

  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();
  const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (!statusAttribute.isValid()) throw unanswered(*reply);
  const int status = statusAttribute.toInt();
  const QByteArray answer = reply->readAll();
  const std::optional<QString> code = xmlValue(u"Code", answer);

  if (status >= 200 && status <= 299) {
    if (!code) co_return answer;
    // S3 may answer a multipart completion with 200 and report the failure in the body.
    qCWarning(lcUpload, "s3 completed with %s", qUtf8Printable(*code));
    throw UploadError::rejected(errorText(answer, *code));
  }
  qCWarning(lcUpload, "%s s3: HTTP %d %s", qUtf8Printable(method), status,
            qUtf8Printable(code.value_or(QStringLiteral("no code"))));
  throw UploadError::rejected(errorText(answer, s3StatusMessage(status)));
}

// ---- withdrawing and finishing ----------------------------------------------------------------------

QCoro::Task<> CustomS3Uploader::withdraw(QList<UploadUnit> units) {
  const QPointer<CustomS3Uploader> self(this);
  const QString method = QStringLiteral("DELETE");
  const S3Signer::QueryItems noQuery;
  const std::optional<QByteArray> noBody;
  const CancelTokenPtr uncancellable;
  for (const UploadUnit& unit : units) {
    if (!self) co_return;
    // The key stays taken, so a later file of the same path gets a numbered key.
    const std::optional<QString> key =
        keys_.contains(unit.id) ? std::optional<QString>(keys_.take(unit.id)) : std::nullopt;
    if (!key) continue;
    stored_.remove(unit.id);
    const std::optional<QUrl> object = objectURL(*key);
    if (!object) continue;
    if (openMultiparts_.contains(unit.id)) {
      const QString uploadID = openMultiparts_.take(unit.id);
      co_await abortMultipart(*object, uploadID);
    }
    if (!self) co_return;
    try {
      co_await s3Request(method, *object, noQuery, noBody, uncancellable);
    } catch (...) {
      // The item is gone for the user either way; an object left behind is the bucket owner's to see.
    }
  }
}

QList<PMRM1::File> CustomS3Uploader::storedFiles() const {
  QList<PMRM1::File> files;
  for (const QUuid& id : registrationOrder_) {
    const auto key = keys_.constFind(id);
    if (key == keys_.constEnd() || !stored_.contains(id) || !sizes_.contains(id)) continue;
    files.append(PMRM1::File{lastPathPiece(*key), *key, sizes_.value(id)});
  }
  return files;
}

QCoro::Task<ResponseItem> CustomS3Uploader::finalize() {
  qCInfo(lcUpload, "finished into %s/%s", qUtf8Printable(config_.bucketName), qUtf8Printable(folder_));
  // Only objects that are really in the bucket go into the box: a failed or withdrawn file would be a
  // dead entry for everyone who opens the link.
  const QList<PMRM1::File> files = storedFiles();
  if (!config_.parcelmoorDownloads || files.isEmpty()) co_return ResponseItem::done();

  const std::optional<S3Credentials> credentials = S3Credentials::load(keychain_, config_.id);
  if (!credentials) throw missingCredentials();
  // The service keeps the first box it got under a key: a finish whose answer was lost and that is
  // repeated must send that same box, or its new password would not open what the link shows. Another
  // list of files is another box, under a key of its own.
  const QPointer<CustomS3Uploader> self(this);
  if (!box_ || box_->files != files) {
    SealedBox sealed = co_await sealBox(files, QUuid::createUuid());
    if (!self) throw UploadError::cancelled();
    box_ = std::move(sealed);
  }
  const SealedBox box = *box_;
  const ResponseItem registered = co_await registerBox(api_, defaults_, config_, *credentials, folder_, box);
  co_return registered;
}

// ---- S3 answers -------------------------------------------------------------------------------------

QString s3StatusMessage(int status) {
  switch (status) {
    case 404: return translated("The bucket was not found. Check its name and the endpoint.");
    case 403: return translated("The bucket refused the request. Check the access key, the secret and its permissions.");
    case 301:
    case 307:
    case 400: return translated("The bucket did not accept the request. Check the region and the endpoint.");
    default: return translated("The storage service responded with HTTP %1.").arg(status);
  }
}

std::optional<QString> xmlValue(QStringView name, const QByteArray& body) {
  if (body.isEmpty()) return std::nullopt;
  QXmlStreamReader reader(body);
  std::optional<QString> value;
  while (!reader.atEnd()) {
    reader.readNext();
    if (!value && reader.isStartElement() && reader.name() == name)
      value = reader.readElementText(QXmlStreamReader::IncludeChildElements);
  }
  // Read to the end first: a document that breaks off later is no answer to trust.
  if (reader.hasError()) return std::nullopt;
  return value;
}

}  // namespace pm
