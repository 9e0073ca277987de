#pragma once

#include <QString>

namespace pm {

// Takes the redirect of a drive sign-in that reaches the agent as an opened parcelmoor:// URL.
class OAuthRedirectHandler {
 public:
  virtual ~OAuthRedirectHandler() = default;
  // True when the URL answered a waiting sign-in and is used up. The URL comes as the text that was
  // opened: its host is compared as written, which a parsed URL no longer tells.
  virtual bool handle(const QString& url) = 0;
};

}  // namespace pm
