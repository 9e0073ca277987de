#pragma once

#include <QUrl>

namespace pm {

// The desktop's handlers for web pages and files: a URL opened here appears in the user's default browser
// (or the program registered for it). Tests pass a double that records or answers what was opened.
class Workspace {
 public:
  virtual ~Workspace() = default;
  // Hands `url` to the desktop; whether a program took it is not reported.
  virtual void openUrl(const QUrl& url) = 0;
};

}  // namespace pm
