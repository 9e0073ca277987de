#include "BucketUploader.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QThread>

#include <memory>

#include "upload/HttpBodyTransfer.h"

namespace pm {

namespace {

QString unexpectedResponseText() {
  return QCoreApplication::translate("BucketUploader", "The service sent an unexpected response.");
}

QString timedOutText() { return QCoreApplication::translate("BucketUploader", "The request timed out."); }

// A destination named by a remote service must only ever reach the network, never a local file.
bool isHttpUrl(const QUrl& url) {
  const QString scheme = url.scheme();
  return url.isValid() && !url.host().isEmpty() &&
         (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

HttpBodyRequest makeRequest(const UploadDestination& destination, const QNetworkAccessManager& network,
                            std::chrono::milliseconds idleTimeout) {
  HttpBodyRequest request;
  request.method = destination.method.toUtf8();
  request.url = destination.url;
  for (auto it = destination.headers.cbegin(); it != destination.headers.cend(); ++it)
    request.headers.append({it.key().toUtf8(), it.value().toUtf8()});
  request.proxy = HttpBodyRequest::proxyOf(network, destination.url);
  request.idleTimeout = idleTimeout;
  return request;
}

// What a transfer that brought no usable answer tells the user.
UploadError failureOf(const HttpBodyOutcome& outcome) {
  using Ending = HttpBodyOutcome::Ending;
  switch (outcome.ending) {
    case Ending::cancelled:
      return UploadError::cancelled();
    case Ending::timedOut:
      return UploadError::transport(timedOutText());
    case Ending::cutOff:
      return UploadError::transport(BucketUploader::cutOffText());
    case Ending::answerTooLarge:
      return UploadError::transport(unexpectedResponseText());
    case Ending::answered:
    case Ending::bodyUnreadable:
    case Ending::failed:
      break;
  }
  return UploadError::transport(outcome.text.isEmpty() ? unexpectedResponseText() : outcome.text);
}

}  // namespace

ProgressRelay::ProgressRelay(ProgressCallback onProgress, QObject* parent)
    : QObject(parent), onProgress_(std::move(onProgress)) {}

void ProgressRelay::bodySent(qint64 sent, qint64 total) {
  if (total < 1) return;
  const double fraction = double(sent) / double(total);
  if (fraction < 1.0 && fraction - last_ < kStep) return;
  last_ = fraction;
  if (onProgress_) onProgress_(fraction);
}

QByteArray UploadResponse::header(QByteArrayView name) const {
  for (const auto& [key, value] : headers) {
    if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0) return value;
  }
  return {};
}

BucketUploader::BucketUploader(QNetworkAccessManager& network, QObject* parent)
    : QObject(parent), network_(network) {}

BucketUploader::~BucketUploader() = default;

bool BucketUploader::allowsRemoval() const { return true; }

QString BucketUploader::cutOffText() {
  return QCoreApplication::translate("BucketUploader",
                                     "The server closed the connection without an answer. It may have refused the "
                                     "upload; check the connection's settings and try again.");
}

QCoro::Task<Registration> BucketUploader::registerUnits(QList<UploadUnit> /*units*/) {
  throw UploadError::notImplemented();
  co_return {};
}

QCoro::Task<> BucketUploader::upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                                     CancelTokenPtr cancel) {
  co_await uploadFile(std::move(unit.url), std::move(destination), std::move(progress), std::move(cancel));
}

QCoro::Task<> BucketUploader::withdraw(QList<UploadUnit> /*units*/) { co_return; }

QCoro::Task<ResponseItem> BucketUploader::finalize() { co_return ResponseItem::done(); }

QCoro::Task<UploadResponse> BucketUploader::uploadFile(QString filePath, UploadDestination destination,
                                                       ProgressCallback progress, CancelTokenPtr cancel) {
  return send(std::move(filePath), std::move(destination), [](double fraction) { return fraction; },
              std::move(progress), std::move(cancel));
}

QCoro::Task<UploadResponse> BucketUploader::uploadFile(QString filePath, ByteRange range,
                                                       UploadDestination destination, ProgressCallback progress,
                                                       CancelTokenPtr cancel) {
  return send(std::move(filePath), std::move(destination),
              [range](double fraction) { return range.fractionOfWhole(fraction); }, std::move(progress),
              std::move(cancel));
}

QCoro::Task<UploadResponse> BucketUploader::uploadFile(QString filePath, PartPosition part,
                                                       UploadDestination destination, ProgressCallback progress,
                                                       CancelTokenPtr cancel) {
  return send(std::move(filePath), std::move(destination),
              [part](double fraction) { return part.fractionOfWhole(fraction); }, std::move(progress),
              std::move(cancel));
}

QCoro::Task<UploadResponse> BucketUploader::uploadBody(std::unique_ptr<QIODevice> body, PartPosition part,
                                                       UploadDestination destination, ProgressCallback progress,
                                                       CancelTokenPtr cancel) {
  return send(std::move(body), std::move(destination),
              [part](double fraction) { return part.fractionOfWhole(fraction); }, std::move(progress),
              std::move(cancel));
}

QCoro::Task<UploadResponse> BucketUploader::send(QString filePath, UploadDestination destination,
                                                 std::function<double(double)> toWhole, ProgressCallback progress,
                                                 CancelTokenPtr cancel) {
  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();
  if (!isHttpUrl(destination.url)) throw UploadError::transport(unexpectedResponseText());
  auto file = std::make_unique<QFile>(filePath);
  if (!file->open(QIODevice::ReadOnly)) throw UploadError::fileUnreadable();
  std::unique_ptr<QIODevice> body = std::move(file);
  QCoro::Task<UploadResponse> sending =
      send(std::move(body), std::move(destination), std::move(toWhole), std::move(progress), std::move(cancel));
  UploadResponse response = co_await std::move(sending);
  co_return response;
}

// Touches nothing of `this` after the first suspension, so the uploader may go away mid-transfer.
QCoro::Task<UploadResponse> BucketUploader::send(std::unique_ptr<QIODevice> body, UploadDestination destination,
                                                 std::function<double(double)> toWhole, ProgressCallback progress,
                                                 CancelTokenPtr cancel) {
  Q_ASSERT(QThread::currentThread() == network_.thread());
  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();
  if (!isHttpUrl(destination.url)) throw UploadError::transport(unexpectedResponseText());
  if (!body || !body->isReadable()) throw UploadError::fileUnreadable();
  if (!progress) progress = [](double) {};

  auto relay = std::make_shared<ProgressRelay>([progress, toWhole](double fraction) { progress(toWhole(fraction)); });
  auto sent = [relay](qint64 bytes, qint64 total) { relay->bodySent(bytes, total); };
  QCoro::Task<HttpBodyOutcome> sending =
      sendHttpBody(makeRequest(destination, network_, requestTimeout_), std::move(body), std::move(sent), cancel);
  const HttpBodyOutcome outcome = co_await std::move(sending);

  // A body the service took whole and stored stays an upload that happened, cancelled or not: the caller
  // needs the answer to find (and withdraw) what was stored.
  const bool stored = outcome.ending == HttpBodyOutcome::Ending::answered && !outcome.answeredEarly &&
                      outcome.status >= 200 && outcome.status <= 299;
  if (cancel && cancel->isCancelled() && !stored) throw UploadError::cancelled();
  if (outcome.ending != HttpBodyOutcome::Ending::answered) throw failureOf(outcome);
  // A server that refuses an upload early answers on the header and drops the connection under the body;
  // such an answer says only that it refused, and the callers that can learn why ask the server again.
  if (outcome.answeredEarly && (outcome.status < 200 || outcome.status > 299))
    throw UploadError::transport(cutOffText());
  if (outcome.status < 200 || outcome.status > 299) throw UploadError::http(outcome.status);
  progress(toWhole(1.0));
  co_return UploadResponse{outcome.status, outcome.headers, outcome.body};
}

}  // namespace pm
