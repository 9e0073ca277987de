#pragma once

#include <QMap>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>

#include "connectors/OAuthCredentials.h"
#include "connectors/OAuthTokenResponse.h"
#include "connectors/OneDriveEndpoints.h"
#include "platform/BundleInfo.h"

class QNetworkAccessManager;

namespace pm {

class Clock;
class OAuthCallback;
class Workspace;

// Where a OneDrive sign-in talks to and how long it waits for the browser to come back.
struct OneDriveSignInOptions {
  OneDriveEndpoints endpoints;
  std::chrono::milliseconds browserWait = std::chrono::seconds(300);
};

// Microsoft's side of OAuth for OneDrive connections: the authorisation-code flow with PKCE for a public
// client (no secret) in the user's browser, the redirect "parcelmoor://oauth/onedrive" coming back to the
// program's OAuthCallback, the exchange of the code for tokens, and the renewal of an access token. The
// account label comes from the identity token, so no further request is needed for it. The client
// identifier is the build's MICROSOFT_CLIENT_ID. Stores nothing: callers keep the credentials. Main
// thread only.
class OneDriveSignIn {
 public:
  // `callback` and `workspace` serve connect() only: a renewal-only user may pass none.
  OneDriveSignIn(QNetworkAccessManager& network, BundleInfo bundle, const Clock& clock,
                 OAuthCallback* callback, Workspace* workspace, OneDriveSignInOptions options = {});

  // What the sign-in asks for, on sign-in, exchange and renewal alike.
  static QString scope();
  static QString redirectURI();

  const OneDriveEndpoints& endpoints() const { return options_.endpoints; }
  QNetworkAccessManager& network() const { return network_; }
  // "Now" for token expiry.
  const Clock& clock() const { return clock_; }

  // Signs a user in through the default browser; the credentials carry the identity token's label.
  // Throws OAuthFailure (`notConfigured` before anything is logged or opened; the callback's `noAnswer`
  // and `refused`; `badResponse` for a token answer without a refresh token; the token endpoint's
  // refusal) and NetworkFailure.
  QCoro::Task<OAuthCredentials> connect() const;
  // Trades an authorisation code for credentials. Throws as connect() does after the browser.
  QCoro::Task<OAuthCredentials> exchange(QString code, QString verifier, QString redirect) const;
  // Credentials with a usable access token: fresh ones as they are, others renewed (a refresh token the
  // answer leaves out is kept, and so is the account). Throws OAuthFailure (`notConfigured` even for
  // fresh credentials) and NetworkFailure.
  QCoro::Task<OAuthCredentials> refreshed(OAuthCredentials credentials) const;
  // Posts the form to the token endpoint: exactly 200 is an answer, every other status a refusal.
  QCoro::Task<OAuthTokenResponse> requestToken(QMap<QString, QString> form) const;

  // The consent page's URL with its eight query items in their order.
  QUrl authorizeURL(const QString& challenge, const QString& state) const;

  // The account a Microsoft identity token names: its "preferred_username", else "email", else "name"
  // (the first present decides; one that is not text gives empty text). Empty for anything unusable. The
  // signature is not checked: the token came straight from the token endpoint over TLS.
  static QString accountLabel(const QString& idToken);

 private:
  QString clientID() const;

  QNetworkAccessManager& network_;
  const BundleInfo bundle_;
  const Clock& clock_;
  OAuthCallback* const callback_;
  Workspace* const workspace_;
  const OneDriveSignInOptions options_;
};

}  // namespace pm
