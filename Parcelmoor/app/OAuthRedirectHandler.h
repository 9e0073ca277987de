#pragma once

#include <QUrl>

namespace pm {

// Takes the redirect of a drive sign-in that reaches the agent as an opened parcelmoor:// URL.
class OAuthRedirectHandler {
 public:
  virtual ~OAuthRedirectHandler() = default;
  // True when the URL answered a waiting sign-in and is used up.
  virtual bool handle(const QUrl& url) = 0;
};

}  // namespace pm
