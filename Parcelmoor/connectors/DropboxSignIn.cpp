#include "DropboxSignIn.h"

#include <QCoreApplication>
#include <QUrlQuery>

#include <optional>

#include "connectors/EndpointUrl.h"
#include "connectors/OAuthCallback.h"
#include "connectors/OAuthFailure.h"
#include "connectors/Pkce.h"
#include "connectors/TokenEndpoint.h"
#include "core/UploadError.h"
#include "platform/Clock.h"
#include "platform/Log.h"

namespace pm {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("DropboxSignIn", text);
}

}  // namespace

DropboxSignIn::DropboxSignIn(QNetworkAccessManager& network, BundleInfo bundle, const Clock& clock,
                             Workspace* workspace, OAuthCallback* callback, DropboxSignInOptions options)
    : network_(network),
      bundle_(std::move(bundle)),
      clock_(clock),
      workspace_(workspace),
      callback_(callback),
      options_(std::move(options)) {}

QString DropboxSignIn::appKey() const {
  return infoPlistValue(bundle_, QStringLiteral("DROPBOX_APP_KEY"));
}

QCoro::Task<OAuthCredentials> DropboxSignIn::connect() const {
  if (appKey().isEmpty()) throw OAuthFailure::notConfigured();
  Q_ASSERT(workspace_ && callback_);
  if (!workspace_ || !callback_) throw OAuthFailure::noAnswer();
  const QString verifier = makePKCEVerifier();
  const QString state = makePKCEVerifier();

  qCInfo(lcDropbox, "waiting for the browser to come back to %s", kRedirectURI);
  QCoro::Task<QString> waiting = callback_->codeFromPage(
      *workspace_, authorizeURL(pkceChallenge(verifier), state), state, options_.redirectWait);
  const QString code = co_await std::move(waiting);

  const QMap<QString, QString> form{
      {QStringLiteral("client_id"), appKey()},
      {QStringLiteral("code"), code},
      {QStringLiteral("code_verifier"), verifier},
      {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
      {QStringLiteral("redirect_uri"), QString::fromLatin1(kRedirectURI)},
  };
  const OAuthTokenResponse answer = co_await requestToken(form);
  co_return signedInCredentials(answer, QString(), clock_.now());
}

QUrl DropboxSignIn::authorizeURL(const QString& challenge, const QString& state) const {
  QUrl url = endpointUrl(options_.endpoints.authorize, QStringLiteral("/oauth2/authorize"));
  QUrlQuery query;
  query.setQueryItems({
      {QStringLiteral("client_id"), appKey()},
      {QStringLiteral("redirect_uri"), QString::fromLatin1(kRedirectURI)},
      {QStringLiteral("response_type"), QStringLiteral("code")},
      {QStringLiteral("scope"), QString::fromLatin1(kScope)},
      {QStringLiteral("code_challenge"), challenge},
      {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
      {QStringLiteral("state"), state},
      {QStringLiteral("token_access_type"), QStringLiteral("offline")},
  });
  url.setQuery(query);
  return url;
}

QCoro::Task<OAuthTokenResponse> DropboxSignIn::requestToken(QMap<QString, QString> form) const {
  const QUrl endpoint = endpointUrl(options_.endpoints.api, QStringLiteral("/oauth2/token"));
  co_return co_await requestOAuthToken(network_, endpoint, std::move(form), lcDropbox(),
                                       translated("Dropbox refused the sign-in."));
}

QCoro::Task<OAuthCredentials> DropboxSignIn::refreshed(OAuthCredentials credentials) const {
  const QString key = appKey();
  if (key.isEmpty()) throw OAuthFailure::notConfigured();
  if (credentials.isFresh(clock_.now())) co_return credentials;
  const QMap<QString, QString> form{
      {QStringLiteral("client_id"), key},
      {QStringLiteral("refresh_token"), credentials.refreshToken},
      {QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
  };
  const OAuthTokenResponse answer = co_await requestToken(form);
  co_return credentials.renewed(answer, clock_.now());
}

QCoro::Task<QString> DropboxSignIn::accessToken(Keychain& keychain, QUuid connection) const {
  const std::optional<OAuthCredentials> stored =
      OAuthCredentials::load(keychain, connection, OAuthProvider::dropbox);
  if (!stored || stored->refreshToken.isEmpty())
    throw UploadError::rejected(translated("This connection has no Dropbox account yet."));
  if (stored->isFresh(clock_.now())) co_return stored->accessToken;
  const OAuthCredentials renewed = co_await refreshed(*stored);
  if (!OAuthCredentials::save(keychain, renewed, connection, OAuthProvider::dropbox))
    qCWarning(lcDropbox, "the renewed Dropbox token could not be stored; it is used for this bucket only");
  co_return renewed.accessToken;
}

}  // namespace pm
