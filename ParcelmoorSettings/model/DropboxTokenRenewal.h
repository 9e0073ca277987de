#pragma once

#include <QUrl>

#include "model/TokenRenewal.h"
#include "platform/BundleInfo.h"

class QNetworkAccessManager;

namespace pm {
class Clock;
}

namespace pm::settings {

// Dropbox's renewal of an access token: the refresh-token grant at "/oauth2/token" with the build's
// DROPBOX_APP_KEY as the client (a PKCE client has no secret).
class DropboxTokenRenewal final : public TokenRenewal {
 public:
  static QUrl defaultApi() { return QUrl(QStringLiteral("https://api.dropboxapi.com")); }

  DropboxTokenRenewal(QNetworkAccessManager& network, BundleInfo bundle, const Clock& clock,
                      QUrl api = defaultApi())
      : network_(network), bundle_(std::move(bundle)), clock_(clock), api_(std::move(api)) {}

  QCoro::Task<OAuthCredentials> refreshed(OAuthCredentials credentials) const override;

 private:
  QNetworkAccessManager& network_;
  const BundleInfo bundle_;
  const Clock& clock_;
  const QUrl api_;
};

}  // namespace pm::settings
