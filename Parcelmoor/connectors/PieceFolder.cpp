#include "PieceFolder.h"

#include <QDir>

#include "connectors/FileChunkCopy.h"

namespace pm {

namespace {

QString folderTemplate(const QString& temporaryDirectory) {
  if (temporaryDirectory.isEmpty()) return QDir::tempPath() + QLatin1String("/pmr-pieces-XXXXXX");
  QDir().mkpath(temporaryDirectory);
  return QDir(temporaryDirectory).filePath(QStringLiteral("pmr-pieces-XXXXXX"));
}

}  // namespace

// QTemporaryDir makes the folder with mkdtemp: a fresh name, mode 0700.
PieceFolder::PieceFolder(const QString& temporaryDirectory) : folder_(folderTemplate(temporaryDirectory)) {
  if (!folder_.isValid()) throw temporaryCopyUnwritable();
}

}  // namespace pm
