#include "GoogleSignIn.h"

#include <QCoreApplication>
#include <QUrlQuery>

#include <memory>

#include "connectors/Pkce.h"
#include "connectors/TokenEndpoint.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Workspace.h"

namespace pm {

namespace {

// The scope is an identifier Google expects verbatim, not an address we talk to.
const QString kDriveFileScope = QStringLiteral("https://www.googleapis.com/auth/drive.file");

QString refusedText() { return QCoreApplication::translate("GoogleSignIn", "Google refused the sign-in."); }

}  // namespace

GoogleSignIn::GoogleSignIn(QNetworkAccessManager& network, BundleInfo bundle, const Clock& clock, Workspace* workspace,
                           GoogleSignInOptions options)
    : network_(network), bundle_(std::move(bundle)), clock_(clock), workspace_(workspace), options_(std::move(options)) {}

QString GoogleSignIn::clientID() const { return infoPlistValue(bundle_, QStringLiteral("GOOGLE_CLIENT_ID")); }

QString GoogleSignIn::clientSecret() const { return infoPlistValue(bundle_, QStringLiteral("GOOGLE_CLIENT_SECRET")); }

QCoro::Task<OAuthCredentials> GoogleSignIn::connect() const {
  if (clientID().isEmpty()) throw OAuthFailure::notConfigured();
  Q_ASSERT(workspace_);
  if (!workspace_) throw OAuthFailure::noAnswer();
  const QString verifier = makePKCEVerifier();
  const QString state = makePKCEVerifier();

  // Owned here to the end, so every way out of this function closes the port.
  const auto listener = std::make_unique<LoopbackListener>(state, options_.listener);
  const QString redirect = QStringLiteral("http://127.0.0.1:%1").arg(listener->port());
  qCInfo(lcDrive, "waiting for a browser on port %hu", listener->port());
  workspace_->openUrl(authorizeURL(pkceChallenge(verifier), redirect, state));

  const QString code = co_await listener->code();
  const QMap<QString, QString> form{
      {QStringLiteral("client_id"), clientID()},
      {QStringLiteral("client_secret"), clientSecret()},
      {QStringLiteral("code"), code},
      {QStringLiteral("code_verifier"), verifier},
      {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
      {QStringLiteral("redirect_uri"), redirect},
  };
  const OAuthTokenResponse answer = co_await requestToken(form);
  co_return signedInCredentials(answer, QString(), clock_.now());
}

QCoro::Task<OAuthCredentials> GoogleSignIn::refreshed(OAuthCredentials credentials) const {
  const QString id = clientID();
  if (id.isEmpty()) throw OAuthFailure::notConfigured();
  if (credentials.isFresh(clock_.now())) co_return credentials;
  const QMap<QString, QString> form{
      {QStringLiteral("client_id"), id},
      {QStringLiteral("client_secret"), clientSecret()},
      {QStringLiteral("refresh_token"), credentials.refreshToken},
      {QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
  };
  const OAuthTokenResponse answer = co_await requestToken(form);
  co_return credentials.renewed(answer, clock_.now());
}

QUrl GoogleSignIn::authorizeURL(const QString& challenge, const QString& redirect, const QString& state) const {
  QUrl url = GoogleEndpoints::resolve(options_.endpoints.accounts, QStringLiteral("/o/oauth2/v2/auth"));
  QUrlQuery query;
  query.setQueryItems({
      {QStringLiteral("client_id"), clientID()},
      {QStringLiteral("redirect_uri"), redirect},
      {QStringLiteral("response_type"), QStringLiteral("code")},
      {QStringLiteral("scope"), kDriveFileScope},
      {QStringLiteral("code_challenge"), challenge},
      {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
      {QStringLiteral("state"), state},
      {QStringLiteral("access_type"), QStringLiteral("offline")},
      {QStringLiteral("prompt"), QStringLiteral("consent")},
  });
  url.setQuery(query);
  return url;
}

QCoro::Task<OAuthTokenResponse> GoogleSignIn::requestToken(QMap<QString, QString> form) const {
  const QUrl endpoint = GoogleEndpoints::resolve(options_.endpoints.token, QStringLiteral("/token"));
  co_return co_await requestOAuthToken(network_, endpoint, std::move(form), lcDrive(), refusedText());
}

}  // namespace pm
