#pragma once

#include <QMap>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <QCoroTask>

#include <chrono>

#include "connectors/DropboxEndpoints.h"
#include "connectors/OAuthCredentials.h"
#include "connectors/OAuthTokenResponse.h"
#include "platform/BundleInfo.h"

class QNetworkAccessManager;

namespace pm {

class Clock;
class Keychain;
class OAuthCallback;
class Workspace;

// Where a Dropbox sign-in talks to and how long it waits for the browser to come back.
struct DropboxSignInOptions {
  DropboxEndpoints endpoints;
  std::chrono::milliseconds redirectWait = std::chrono::seconds(300);
};

// Dropbox's side of OAuth: the authorisation-code flow with PKCE in the user's browser as a public client
// (the build's DROPBOX_APP_KEY, no secret), the redirect "parcelmoor://oauth/dropbox" coming back through
// the program's opened URLs to the OAuthCallback, the code exchange, the renewal of an access token and the
// connection's usable access token. Main thread only.
class DropboxSignIn {
 public:
  static constexpr char kRedirectURI[] = "parcelmoor://oauth/dropbox";
  static constexpr char kScope[] = "account_info.read files.content.write";

  // `workspace` opens the consent page and `callback` receives the redirect; users that only renew tokens
  // (the uploaders) pass neither.
  DropboxSignIn(QNetworkAccessManager& network, BundleInfo bundle, const Clock& clock,
                Workspace* workspace = nullptr, OAuthCallback* callback = nullptr,
                DropboxSignInOptions options = {});

  const DropboxEndpoints& endpoints() const { return options_.endpoints; }
  QNetworkAccessManager& network() const { return network_; }
  const Clock& clock() const { return clock_; }

  // Signs a user in through the default browser; the credentials come back with an empty account and are
  // not stored. Throws OAuthFailure (`notConfigured` before any page opens; the callback's `noAnswer` and
  // `refused`; `badResponse` for an exchange answer without refresh token; the token endpoint's refusal)
  // and NetworkFailure.
  QCoro::Task<OAuthCredentials> connect() const;

  // The consent page's URL with its eight query items in their order.
  QUrl authorizeURL(const QString& challenge, const QString& state) const;

  // Posts the form to the token endpoint. Only status 200 succeeds. Throws OAuthFailure `badResponse` for
  // an answer that is not HTTP or a 200 that does not decode, `refused` with Dropbox's text for any other
  // status, and NetworkFailure.
  QCoro::Task<OAuthTokenResponse> requestToken(QMap<QString, QString> form) const;

  // Fresh credentials as they are, others renewed (a refresh token the answer leaves out is kept, and so is
  // the account). Stores nothing. Throws OAuthFailure (`notConfigured` even for fresh ones) and
  // NetworkFailure.
  QCoro::Task<OAuthCredentials> refreshed(OAuthCredentials credentials) const;

  // The access token of `connection`'s stored credentials, renewed and stored again first when it is not
  // fresh. Throws UploadError `rejected` ("This connection has no Dropbox account yet.") without
  // credentials or refresh token, and the renewal's failures unchanged (nothing is stored then).
  QCoro::Task<QString> accessToken(Keychain& keychain, QUuid connection) const;

 private:
  QString appKey() const;

  QNetworkAccessManager& network_;
  const BundleInfo bundle_;
  const Clock& clock_;
  Workspace* const workspace_;
  OAuthCallback* const callback_;
  const DropboxSignInOptions options_;
};

}  // namespace pm
