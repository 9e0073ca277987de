#pragma once

#include <QString>
#include <QUrl>

namespace pm {

// The desktop's ways of opening things on the user's behalf: a URL opened here appears in the user's
// default browser (or the program registered for it). Tests pass a double that records or answers what was
// opened.
class Workspace {
 public:
  virtual ~Workspace() = default;

  // Opens a web page or file with the user's default handler. False when nothing took it.
  virtual bool openUrl(const QUrl& url) = 0;
  // Starts `program` on its own, detached from the caller. False when it could not be started.
  virtual bool openApplication(const QString& program) = 0;
  // Brings the program's own windows to the front, ahead of other programs.
  virtual void activateApplication() = 0;
};

}  // namespace pm
