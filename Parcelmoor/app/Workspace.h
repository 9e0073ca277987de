#pragma once

#include <QString>
#include <QUrl>

namespace pm {

// The desktop's ways of opening things on the user's behalf.
class Workspace {
 public:
  virtual ~Workspace() = default;

  // Opens a web page or file with the user's default handler. False when nothing took it.
  virtual bool openUrl(const QUrl& url) = 0;
  // Starts `program` on its own, detached from the agent. False when it could not be started.
  virtual bool openApplication(const QString& program) = 0;
  // Brings the agent's own windows to the front, ahead of other programs.
  virtual void activateApplication() = 0;
};

// The Linux desktop: xdg handlers through QDesktopServices, programs through QProcess.
class DesktopWorkspace final : public Workspace {
 public:
  bool openUrl(const QUrl& url) override;
  bool openApplication(const QString& program) override;
  void activateApplication() override;
};

}  // namespace pm
