#pragma once

#include "app/OAuthRedirectHandler.h"
#include "connectors/OAuthCallback.h"

namespace pm {

// Opened URLs go to the agent's one OAuthCallback, where a drive sign-in may be waiting for its code.
class OAuthCallbackRedirects final : public OAuthRedirectHandler {
 public:
  explicit OAuthCallbackRedirects(OAuthCallback& callback) : callback_(callback) {}

  bool handle(const QString& url) override { return callback_.handle(url); }

 private:
  OAuthCallback& callback_;
};

}  // namespace pm
