#include "BucketUploader.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

#include <QCoroNetworkReply>

#include <memory>

#include "platform/NetworkRequest.h"

namespace pm {

namespace {

struct DeleteLater {
  void operator()(QObject* object) const { object->deleteLater(); }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, DeleteLater>;

QString unexpectedResponseText() {
  return QCoreApplication::translate("BucketUploader", "The service sent an unexpected response.");
}

QString timedOutText() { return QCoreApplication::translate("BucketUploader", "The request timed out."); }

// Qt would also write to file: and other local URLs; a destination named by a remote service must only
// ever reach the network.
bool isHttpUrl(const QUrl& url) {
  const QString scheme = url.scheme();
  return url.isValid() && !url.host().isEmpty() &&
         (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

QNetworkRequest makeRequest(const UploadDestination& destination) {
  QNetworkRequest request = networkRequest(destination.url);
  for (auto it = destination.headers.cbegin(); it != destination.headers.cend(); ++it)
    request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
  return request;
}

// What a reply that ended without an HTTP answer tells the user. A server that refuses an upload early
// answers as soon as it has the header and resets the connection on the body still under way; Qt, busy
// writing, drops that answer unread and calls the reset "Unknown error".
UploadError unanswered(const QNetworkReply& reply) {
  const QNetworkReply::NetworkError error = reply.error();
  if (error == QNetworkReply::RemoteHostClosedError || error == QNetworkReply::UnknownNetworkError)
    return UploadError::transport(BucketUploader::cutOffText());
  if (error == QNetworkReply::NoError || reply.errorString().isEmpty())
    return UploadError::transport(unexpectedResponseText());
  return UploadError::transport(reply.errorString());
}

// Aborts the reply when it stays idle (nothing sent, nothing received) for `timeout`; the returned flag
// tells a time-out apart from any other abort.
std::shared_ptr<bool> abortWhenIdle(QNetworkReply* reply, std::chrono::milliseconds timeout) {
  auto timedOut = std::make_shared<bool>(false);
  auto* idle = new QTimer(reply);
  idle->setSingleShot(true);
  idle->setInterval(timeout);
  QObject::connect(reply, &QNetworkReply::uploadProgress, idle, [idle] { idle->start(); });
  QObject::connect(reply, &QNetworkReply::downloadProgress, idle, [idle] { idle->start(); });
  QObject::connect(reply, &QNetworkReply::finished, idle, &QTimer::stop);
  QObject::connect(idle, &QTimer::timeout, reply, [reply, timedOut] {
    *timedOut = true;
    reply->abort();
  });
  idle->start();
  return timedOut;
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

  // The reply streams the body as the socket drains, and owns the device from here on.
  ReplyPtr reply(network_.sendCustomRequest(makeRequest(destination), destination.method.toUtf8(), body.get()));
  body.release()->setParent(reply.get());

  auto* relay = new ProgressRelay([progress, toWhole](double fraction) { progress(toWhole(fraction)); }, reply.get());
  connect(reply.get(), &QNetworkReply::uploadProgress, relay, &ProgressRelay::bodySent);
  const std::shared_ptr<bool> timedOut = abortWhenIdle(reply.get(), requestTimeout_);
  if (cancel) connect(cancel.get(), &CancelToken::cancelled, reply.get(), &QNetworkReply::abort);

  co_await reply.get();

  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (status.isValid()) {
    const int code = status.toInt();
    if (code < 200 || code > 299) throw UploadError::http(code);
    progress(toWhole(1.0));
    co_return UploadResponse{code, reply->rawHeaderPairs(), reply->readAll()};
  }
  if (*timedOut) throw UploadError::transport(timedOutText());
  throw unanswered(*reply);
}

}  // namespace pm
