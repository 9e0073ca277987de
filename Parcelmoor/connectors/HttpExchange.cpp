#include "HttpExchange.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <QCoroNetworkReply>

#include <memory>

namespace pm {

namespace {

struct DeleteLater {
  void operator()(QObject* object) const { object->deleteLater(); }
};

}  // namespace

QByteArray HttpAnswer::header(QByteArrayView name) const {
  for (const auto& [key, value] : headers) {
    if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0) return value;
  }
  return {};
}

QCoro::Task<HttpAnswer> exchange(QNetworkAccessManager& network, QNetworkRequest request, QByteArray method,
                                 QByteArray body, std::chrono::milliseconds timeout) {
  request.setTransferTimeout(int(timeout.count()));
  const std::unique_ptr<QNetworkReply, DeleteLater> reply(network.sendCustomRequest(request, method, body));
  QNetworkReply* const running = reply.get();
  co_await running;

  // Qt flags 4xx and 5xx as errors too; only a reply without a status failed to be an answer.
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (status.isValid()) co_return HttpAnswer{status.toInt(), reply->readAll(), reply->rawHeaderPairs()};
  if (reply->error() == QNetworkReply::NoError) co_return HttpAnswer{0, reply->readAll(), {}};
  // Nothing here aborts a request, so a cancelled one is one that ran out of time.
  if (reply->error() == QNetworkReply::OperationCanceledError)
    throw NetworkFailure(QCoreApplication::translate("HttpExchange", "The request timed out."));
  throw NetworkFailure(reply->errorString());
}

}  // namespace pm
