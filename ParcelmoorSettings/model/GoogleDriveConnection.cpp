#include "GoogleDriveConnection.h"

#include <QCoreApplication>

#include "connectors/GoogleDriveUploader.h"
#include "connectors/GoogleSignIn.h"

namespace pm::settings {

QString GoogleDriveConnection::missingAccountText() const {
  return QCoreApplication::translate("GoogleDriveUploader", "This connection has no Google account yet.");
}

QCoro::Task<> GoogleDriveConnection::requestAccount(QString accessToken) const {
  const QString email = co_await accountEmail(std::move(accessToken));
  Q_UNUSED(email);
}

QCoro::Task<QString> GoogleDriveConnection::accountEmail(QString accessToken) const {
  QCoro::Task<QString> fetching =
      GoogleDriveUploader::fetchAccountLabel(signIn_.network(), signIn_.endpoints(), std::move(accessToken));
  co_return co_await std::move(fetching);
}

QString GoogleDriveConnection::failure(int status, const QByteArray& body) {
  return GoogleDriveUploader::uploadError(status, body).message();
}

QCoro::Task<OAuthCredentials> GoogleDriveConnection::refreshed(OAuthCredentials credentials) const {
  QCoro::Task<OAuthCredentials> renewing = signIn_.refreshed(std::move(credentials));
  co_return co_await std::move(renewing);
}

}  // namespace pm::settings
