#include "DropboxTokenRenewal.h"

#include <QCoreApplication>

#include "connectors/OAuthFailure.h"
#include "connectors/TokenEndpoint.h"
#include "platform/Clock.h"
#include "platform/Log.h"

namespace pm::settings {

QCoro::Task<OAuthCredentials> DropboxTokenRenewal::refreshed(OAuthCredentials credentials) const {
  const QString client = infoPlistValue(bundle_, QStringLiteral("DROPBOX_APP_KEY"));
  if (client.isEmpty()) throw OAuthFailure::notConfigured();
  QUrl endpoint = api_;
  endpoint.setPath(endpoint.path() + QStringLiteral("/oauth2/token"));
  const QMap<QString, QString> form{{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                    {QStringLiteral("refresh_token"), credentials.refreshToken},
                                    {QStringLiteral("client_id"), client}};
  const OAuthTokenResponse answer = co_await requestOAuthToken(
      network_, endpoint, form, lcDropbox(),
      QCoreApplication::translate("DropboxTokenRenewal", "Dropbox refused the sign-in."));
  co_return credentials.renewed(answer, clock_.now());
}

}  // namespace pm::settings
