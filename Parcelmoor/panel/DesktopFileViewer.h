#pragma once

#include "panel/FileViewer.h"

namespace pm {

// The Linux desktop: files open through their xdg handlers; the file manager selects a file through its
// freedesktop D-Bus interface, and where no file manager offers it the file's folder is opened instead.
class DesktopFileViewer final : public FileViewer {
 public:
  void open(const QString& path) override;
  void showInFolder(const QString& path) override;
};

}  // namespace pm
