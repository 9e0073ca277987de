#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "model/DriveAccount.h"

class QNetworkAccessManager;

namespace pm::settings {

// A OneDrive connection's account check: Microsoft Graph must name the application's folder.
class OneDriveConnection final : public DriveAccount {
 public:
  // Microsoft Graph; tests point it at a local fake.
  static QUrl defaultGraph() { return QUrl(QStringLiteral("https://graph.microsoft.com")); }

  // `renewal` is Microsoft's token renewal (token endpoint path "/common/oauth2/v2.0/token").
  OneDriveConnection(QNetworkAccessManager& network, const TokenRenewal& renewal, QUrl graph = defaultGraph())
      : network_(network), renewal_(renewal), graph_(std::move(graph)) {}

  OAuthProvider provider() const override { return OAuthProvider::microsoft; }
  QString missingAccountText() const override;
  const TokenRenewal& renewal() const override { return renewal_; }
  QCoro::Task<> requestAccount(QString accessToken) const override;

  // The identifier of the application's folder. Throws UploadError transport when the answer names none
  // or is not HTTP, rejected with failure() for a refusal, and NetworkFailure.
  QCoro::Task<QString> appFolderID(QString accessToken) const;
  // The text of a refused Graph answer (logged with its body).
  static QString failure(int status, const QByteArray& body);

 private:
  QNetworkAccessManager& network_;
  const TokenRenewal& renewal_;
  const QUrl graph_;
};

}  // namespace pm::settings
