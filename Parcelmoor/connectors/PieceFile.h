#pragma once

#include <QString>

#include "platform/FileDescriptor.h"

namespace pm {

// One file a chunked upload copies its pieces into, held open from its creation to its end. It is created
// exclusively (never through a link or file planted at the name) and readable by the owner only, so it
// belongs in a PieceFolder. Each piece is written over the one before it: reusing the file spares the file
// system a fresh allocation per piece and the release of every page of the old one, which together cost
// more than the copy itself.
class PieceFile {
 public:
  // Creates the file at `path`. Throws temporaryCopyUnwritable() when anything is in the way or the file
  // cannot be made.
  explicit PieceFile(QString path);
  PieceFile(const PieceFile&) = delete;
  PieceFile& operator=(const PieceFile&) = delete;

  const QString& path() const { return path_; }
  int descriptor() const { return file_.get(); }

 private:
  QString path_;
  FileDescriptor file_;
};

}  // namespace pm
