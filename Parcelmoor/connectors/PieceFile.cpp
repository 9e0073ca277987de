#include "PieceFile.h"

#include <QFile>

#include <fcntl.h>

#include <utility>

#include "connectors/FileChunkCopy.h"

namespace pm {

PieceFile::PieceFile(QString path)
    : path_(std::move(path)),
      file_(::open(QFile::encodeName(path_).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   0600)) {
  if (!file_.isValid()) throw temporaryCopyUnwritable();
}

}  // namespace pm
