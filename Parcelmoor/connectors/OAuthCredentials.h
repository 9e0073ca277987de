#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

#include "connectors/OAuthProvider.h"

namespace pm {

class Keychain;
struct OAuthTokenResponse;

// The tokens of one drive connection. Kept only in the keychain (service per provider, account = the
// connection id as upper-case UUID text) as a JSON object with the four field names as keys; `expiresAt`
// is seconds since 2001-01-01 UTC. Settings sync carries the same JSON.
struct OAuthCredentials {
  QString refreshToken;  // empty: the connection is not signed in
  QString account;       // the label the user sees (e-mail or display name)
  QString accessToken;   // empty until one was fetched
  QDateTime expiresAt = distantPast();

  // How long before its expiry an access token is no longer used.
  static constexpr qint64 kFreshnessMarginSeconds = 60;

  static QDateTime distantPast();

  bool operator==(const OAuthCredentials&) const = default;

  // Whether the access token can be used as it is: not empty, and valid past `now` plus the margin.
  bool isFresh(const QDateTime& now) const;
  // These credentials after a renewal answered at `now`: its access token and expiry, its refresh token
  // when it sent one (providers may rotate it), the rest as it was.
  OAuthCredentials renewed(const OAuthTokenResponse& answer, const QDateTime& now) const;

  QByteArray toJson() const;
  // All four keys required, of their types; other keys ignored.
  static std::optional<OAuthCredentials> fromJson(const QByteArray& json);

  // Nothing when absent, unreadable or not the JSON above.
  static std::optional<OAuthCredentials> load(const Keychain& keychain, const QUuid& connectionId,
                                              OAuthProvider provider);
  // Nothing, or an empty refresh token, removes the connection's tokens and returns true. Otherwise the
  // item is replaced in one step, so a refused write leaves the working tokens in place; returns whether
  // the keychain took it.
  static bool save(Keychain& keychain, const std::optional<OAuthCredentials>& credentials, const QUuid& connectionId,
                   OAuthProvider provider);
};

}  // namespace pm
