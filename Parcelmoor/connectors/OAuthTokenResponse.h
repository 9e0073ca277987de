#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pm {

// A provider token endpoint's answer, from its JSON keys "access_token", "expires_in", "refresh_token"
// and "id_token".
struct OAuthTokenResponse {
  QString accessToken;
  qint64 expiresIn = 0;  // seconds
  std::optional<QString> refreshToken;
  std::optional<QString> idToken;

  bool operator==(const OAuthTokenResponse&) const = default;

  // Nothing unless the body is a JSON object with a text "access_token" and a whole number "expires_in";
  // the optional keys, when present and not null, must be texts.
  static std::optional<OAuthTokenResponse> decode(const QByteArray& body);
};

}  // namespace pm
