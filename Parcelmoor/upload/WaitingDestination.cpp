#include "WaitingDestination.h"

namespace pm {

WaitingDestination::WaitingDestination(const UploadDestination& destination)
    : unitID_(destination.unitID), method_(destination.method), headers_(destination.headers) {
  QByteArray encoded = destination.url.toEncoded();
  if (QUrl::fromEncoded(encoded, QUrl::StrictMode) == destination.url) {
    encodedURL_ = std::move(encoded);
  } else {
    url_ = destination.url;
  }
}

UploadDestination WaitingDestination::destination() const {
  const QUrl url = encodedURL_.isNull() ? url_ : QUrl::fromEncoded(encodedURL_, QUrl::StrictMode);
  return UploadDestination{unitID_, url, method_, headers_};
}

}  // namespace pm
