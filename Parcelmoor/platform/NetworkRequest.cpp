#include "platform/NetworkRequest.h"

namespace pm {

QNetworkRequest networkRequest(const QUrl& url) {
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  return request;
}

}  // namespace pm
