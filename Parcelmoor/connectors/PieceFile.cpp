#include "PieceFile.h"

#include <QDir>

#include "connectors/FileChunkCopy.h"

namespace pm {

namespace {

QString folderTemplate(const QString& temporaryDirectory) {
  const QString parent = temporaryDirectory.isEmpty() ? QDir::tempPath() : temporaryDirectory;
  return parent + QLatin1String("/pmr-pieces-XXXXXX");
}

}  // namespace

// QTemporaryDir makes the folder with mkdtemp: a fresh name, mode 0700.
PieceFile::PieceFile(const QString& temporaryDirectory, const QString& name)
    : folder_(folderTemplate(temporaryDirectory)) {
  if (!folder_.isValid()) throw temporaryCopyUnwritable();
  path_ = folder_.filePath(name);
}

}  // namespace pm
