#include "OneDriveSignIn.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include "connectors/OAuthCallback.h"
#include "connectors/OAuthFailure.h"
#include "connectors/Pkce.h"
#include "connectors/TokenEndpoint.h"
#include "platform/Clock.h"
#include "platform/Log.h"

namespace pm {

namespace {

const QString kAuthorizePath = QStringLiteral("/common/oauth2/v2.0/authorize");
const QString kTokenPath = QStringLiteral("/common/oauth2/v2.0/token");

QString refusedText() {
  return QCoreApplication::translate("OneDriveSignIn", "Microsoft refused the sign-in.");
}

// base64url to base64: the two alphabet changes, then "=" up to a multiple of four.
QByteArray standardBase64(QString part) {
  part.replace(QLatin1Char('-'), QLatin1Char('+'));
  part.replace(QLatin1Char('_'), QLatin1Char('/'));
  while (part.size() % 4 != 0) part.append(QLatin1Char('='));
  return part.toLatin1();
}

}  // namespace

OneDriveSignIn::OneDriveSignIn(QNetworkAccessManager& network, BundleInfo bundle, const Clock& clock,
                               OAuthCallback* callback, Workspace* workspace, OneDriveSignInOptions options)
    : network_(network),
      bundle_(std::move(bundle)),
      clock_(clock),
      callback_(callback),
      workspace_(workspace),
      options_(std::move(options)) {}

QString OneDriveSignIn::scope() {
  return QStringLiteral("Files.ReadWrite.AppFolder offline_access openid profile email");
}

QString OneDriveSignIn::redirectURI() {
  return QStringLiteral("parcelmoor://oauth/onedrive");
}

QString OneDriveSignIn::clientID() const {
  return infoPlistValue(bundle_, QStringLiteral("MICROSOFT_CLIENT_ID"));
}

QCoro::Task<OAuthCredentials> OneDriveSignIn::connect() const {
  if (clientID().isEmpty()) throw OAuthFailure::notConfigured();
  Q_ASSERT(callback_ && workspace_);
  if (!callback_ || !workspace_) throw OAuthFailure::noAnswer();
  const QString verifier = makePKCEVerifier();
  const QString state = makePKCEVerifier();
  const QString redirect = redirectURI();
  qCInfo(lcOneDrive, "waiting for the browser to come back to %s", qUtf8Printable(redirect));
  QCoro::Task<QString> waiting = callback_->codeFromPage(
      *workspace_, authorizeURL(pkceChallenge(verifier), state), state, options_.browserWait);
  const QString code = co_await std::move(waiting);
  co_return co_await exchange(code, verifier, redirect);
}

QCoro::Task<OAuthCredentials> OneDriveSignIn::exchange(QString code, QString verifier,
                                                       QString redirect) const {
  const QMap<QString, QString> form{
      {QStringLiteral("client_id"), clientID()},
      {QStringLiteral("code"), code},
      {QStringLiteral("code_verifier"), verifier},
      {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
      {QStringLiteral("redirect_uri"), redirect},
      {QStringLiteral("scope"), scope()},
  };
  const OAuthTokenResponse answer = co_await requestToken(form);
  co_return signedInCredentials(answer, accountLabel(answer.idToken.value_or(QString())), clock_.now());
}

QCoro::Task<OAuthCredentials> OneDriveSignIn::refreshed(OAuthCredentials credentials) const {
  const QString id = clientID();
  if (id.isEmpty()) throw OAuthFailure::notConfigured();
  if (credentials.isFresh(clock_.now())) co_return credentials;
  const QMap<QString, QString> form{
      {QStringLiteral("client_id"), id},
      {QStringLiteral("refresh_token"), credentials.refreshToken},
      {QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
      {QStringLiteral("scope"), scope()},
  };
  const OAuthTokenResponse answer = co_await requestToken(form);
  co_return credentials.renewed(answer, clock_.now());
}

QCoro::Task<OAuthTokenResponse> OneDriveSignIn::requestToken(QMap<QString, QString> form) const {
  const QUrl endpoint = options_.endpoints.loginUrl(kTokenPath);
  co_return co_await requestOAuthToken(network_, endpoint, std::move(form), lcOneDrive(), refusedText());
}

QUrl OneDriveSignIn::authorizeURL(const QString& challenge, const QString& state) const {
  QUrl url = options_.endpoints.loginUrl(kAuthorizePath);
  QUrlQuery query;
  query.setQueryItems({
      {QStringLiteral("client_id"), clientID()},
      {QStringLiteral("redirect_uri"), redirectURI()},
      {QStringLiteral("response_type"), QStringLiteral("code")},
      {QStringLiteral("scope"), scope()},
      {QStringLiteral("code_challenge"), challenge},
      {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
      {QStringLiteral("state"), state},
      {QStringLiteral("prompt"), QStringLiteral("select_account")},
  });
  url.setQuery(query);
  return url;
}

QString OneDriveSignIn::accountLabel(const QString& idToken) {
  const QStringList parts = idToken.split(QLatin1Char('.'), Qt::SkipEmptyParts);
  if (parts.size() < 2) return {};
  const QByteArray::FromBase64Result decoded =
      QByteArray::fromBase64Encoding(standardBase64(parts.at(1)), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return {};
  const QJsonDocument document = QJsonDocument::fromJson(*decoded);
  if (!document.isObject()) return {};
  const QJsonObject claims = document.object();
  for (const char* claim : {"preferred_username", "email", "name"}) {
    const QString key = QString::fromLatin1(claim);
    if (!claims.contains(key)) continue;
    const QJsonValue value = claims.value(key);
    return value.isString() ? value.toString() : QString();
  }
  return {};
}

}  // namespace pm
