#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>


#include "connectors/GoogleEndpoints.h"
#include "connectors/LoopbackListener.h"
#include "connectors/OAuthCredentials.h"
#include "connectors/OAuthTokenResponse.h"
#include "platform/BundleInfo.h"

class QNetworkAccessManager;

namespace pm {

class Clock;
class Workspace;

// Where a Google sign-in talks to and how long its listener waits.
struct GoogleSignInOptions {
  GoogleEndpoints endpoints;
  LoopbackTiming listener;
};

// Google's side of OAuth for Drive connections: the authorisation-code flow with PKCE in the user's
// browser, the redirect caught by a loopback listener, the exchange of the code for tokens, and the
// renewal of an access token. The client identifier and secret are the build's GOOGLE_CLIENT_ID and
// GOOGLE_CLIENT_SECRET. Stores nothing: callers keep the credentials. Main thread only.
class GoogleSignIn {
 public:
  // `workspace` opens the consent page; a renewal-only user (the settings program) may pass none.
  GoogleSignIn(QNetworkAccessManager& network, BundleInfo bundle, const Clock& clock, Workspace* workspace,
               GoogleSignInOptions options = {});

  const GoogleEndpoints& endpoints() const { return options_.endpoints; }
  QNetworkAccessManager& network() const { return network_; }
  // "Now" for token expiry.
  const Clock& clock() const { return clock_; }

  // Signs a user in through the default browser; the credentials come back with an empty account.
  // Throws OAuthFailure (`notConfigured` before any port is opened or page shown; the listener's failures;
  // `badResponse` for a token answer without a refresh token; the token endpoint's refusal) and
  // NetworkFailure. The listener's port is closed on every way out.
  QCoro::Task<OAuthCredentials> connect() const;

  // Credentials with a usable access token: fresh ones as they are, others renewed at the token endpoint
  // (a refresh token the answer leaves out is kept). Throws OAuthFailure (`notConfigured` even for fresh
  // credentials) and NetworkFailure.
  QCoro::Task<OAuthCredentials> refreshed(OAuthCredentials credentials) const;

  // The consent page's URL with its nine query items in their order.
  QUrl authorizeURL(const QString& challenge, const QString& redirect, const QString& state) const;

  // Posts the form to the token endpoint. Throws OAuthFailure `badResponse` for an answer that is not
  // HTTP or a 200 that does not decode, `refused` for any other status, and NetworkFailure.
  QCoro::Task<OAuthTokenResponse> requestToken(QMap<QString, QString> form) const;

 private:
  QString clientID() const;
  QString clientSecret() const;

  QNetworkAccessManager& network_;
  const BundleInfo bundle_;
  const Clock& clock_;
  Workspace* const workspace_;
  const GoogleSignInOptions options_;
};

}  // namespace pm
