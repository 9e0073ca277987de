#pragma once

#include "platform/Workspace.h"

namespace pm {

// The Linux desktop: xdg handlers through QDesktopServices, programs through QProcess.
class DesktopWorkspace final : public Workspace {
 public:
  bool openUrl(const QUrl& url) override;
  bool openApplication(const QString& program) override;
  void activateApplication() override;
};

}  // namespace pm
