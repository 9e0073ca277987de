#pragma once

#include <QString>

namespace pm {

// What a tile's menu asks of the desktop for a local file. Tests pass a recording double.
class FileViewer {
 public:
  virtual ~FileViewer() = default;

  // Opens the file or folder with the user's default program for it.
  virtual void open(const QString& path) = 0;
  // Shows the file selected in the user's file manager.
  virtual void showInFolder(const QString& path) = 0;
};

}  // namespace pm
