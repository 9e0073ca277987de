#pragma once

#include <QByteArray>
#include <QString>

#include "model/DriveAccount.h"

class QNetworkAccessManager;

namespace pm {
class GoogleSignIn;
}

namespace pm::settings {

// A Google Drive connection's account check: the agent's Google sign-in renews the token and its Drive
// client names the account, so both programs talk to Google alike.
class GoogleDriveConnection final : public DriveAccount, private TokenRenewal {
 public:
  explicit GoogleDriveConnection(const GoogleSignIn& signIn) : signIn_(signIn) {}

  OAuthProvider provider() const override { return OAuthProvider::google; }
  QString missingAccountText() const override;
  const TokenRenewal& renewal() const override { return *this; }
  QCoro::Task<> requestAccount(QString accessToken) const override;

  // The account's e-mail address; empty when Drive names none.
  QCoro::Task<QString> accountEmail(QString accessToken) const;
  // The text of a refused Drive answer.
  static QString failure(int status, const QByteArray& body);

 private:
  QCoro::Task<OAuthCredentials> refreshed(OAuthCredentials credentials) const override;

  const GoogleSignIn& signIn_;
};

}  // namespace pm::settings
