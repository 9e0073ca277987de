#include "platform/NetworkRequest.h"

namespace pm {

QNetworkRequest networkRequest(const QUrl& url) {
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  return request;
}

QByteArray hostField(const QUrl& url) {
  QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
  if (host.contains(':')) host = '[' + host + ']';
  if (url.port() >= 0) host += ':' + QByteArray::number(url.port());
  return host;
}

}  // namespace pm
