#include "SaveFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace pm::settings {

QString saveFolder(const QString& documents, const QString& home) {
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
  return home;
}

QString saveFolder() {
  return saveFolder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), QDir::homePath());
}

}  // namespace pm::settings
