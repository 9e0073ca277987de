#pragma once

#include <QString>
#include <QTemporaryDir>

namespace pm {

// The folder a chunked upload copies its pieces into: new for each upload, and one only the user may enter
// (a shared temporary folder is writable by every local user, who could plant a link at a predictable name).
// The folder and whatever is in it go away with this object, on every way out of the upload: success,
// failure and cancellation alike.
class PieceFolder {
 public:
  // A new private folder in `temporaryDirectory` (made first when missing; the system's when empty). Throws
  // temporaryCopyUnwritable() when the folder cannot be made.
  explicit PieceFolder(const QString& temporaryDirectory);
  PieceFolder(const PieceFolder&) = delete;
  PieceFolder& operator=(const PieceFolder&) = delete;

  // Where the piece file `name` goes.
  QString filePath(const QString& name) const { return folder_.filePath(name); }

 private:
  QTemporaryDir folder_;
};

}  // namespace pm
