#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "model/DriveAccount.h"

class QNetworkAccessManager;

namespace pm::settings {

// A Dropbox connection's account check: the API must name the current account.
class DropboxConnection final : public DriveAccount {
 public:
  // Dropbox's API host; tests point it at a local fake.
  static QUrl defaultApi() { return QUrl(QStringLiteral("https://api.dropboxapi.com")); }

  // `renewal` is Dropbox's token renewal (token endpoint path "/oauth2/token").
  DropboxConnection(QNetworkAccessManager& network, const TokenRenewal& renewal, QUrl api = defaultApi())
      : network_(network), renewal_(renewal), api_(std::move(api)) {}

  OAuthProvider provider() const override { return OAuthProvider::dropbox; }
  QString missingAccountText() const override;
  const TokenRenewal& renewal() const override { return renewal_; }
  QCoro::Task<> requestAccount(QString accessToken) const override;

  // The account's e-mail, else its display name, else empty. Throws UploadError rejected with failure()
  // for a refusal and for an answer that is not HTTP (as status 0), and NetworkFailure.
  QCoro::Task<QString> accountLabel(QString accessToken) const;
  // The text of a refused Dropbox answer, from its "error_summary" where the status has no text of its own.
  static QString failure(int status, const QByteArray& body);

 private:
  QNetworkAccessManager& network_;
  const TokenRenewal& renewal_;
  const QUrl api_;
};

}  // namespace pm::settings
