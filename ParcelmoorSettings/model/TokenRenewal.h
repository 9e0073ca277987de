#pragma once

#include <QCoroTask>

#include "connectors/OAuthCredentials.h"

namespace pm::settings {

// A provider's renewal of an access token at its token endpoint: the credentials with the new access
// token, its expiry and, when the answer carries one, the new refresh token; the account is kept. Throws
// OAuthFailure (notConfigured without a client identifier, refused, badResponse) and NetworkFailure.
// Stores nothing.
class TokenRenewal {
 public:
  virtual ~TokenRenewal() = default;
  virtual QCoro::Task<OAuthCredentials> refreshed(OAuthCredentials credentials) const = 0;
};

}  // namespace pm::settings
