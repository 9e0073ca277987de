#pragma once

#include <QString>
#include <QTemporaryDir>

namespace pm {

// The one file a chunked upload copies its pieces into, alone in a new folder that only the user may
// enter (the shared temporary folder is writable by every local user, who could plant a link at a
// predictable name). The folder and whatever is in it go away with this object, on every way out of the
// upload: success, failure and cancellation alike.
class PieceFile {
 public:
  // A new private folder in `temporaryDirectory` (the system's when empty), and `name` inside it. Throws
  // UploadError `rejected` when the folder cannot be made.
  PieceFile(const QString& temporaryDirectory, const QString& name);
  PieceFile(const PieceFile&) = delete;
  PieceFile& operator=(const PieceFile&) = delete;

  const QString& path() const { return path_; }

 private:
  QTemporaryDir folder_;
  QString path_;
};

}  // namespace pm
