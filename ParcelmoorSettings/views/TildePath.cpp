#include "TildePath.h"

#include <QDir>

namespace pm::settings {

QString tildePath(const QString& path, const QString& home) {
  const QString folder = QDir::cleanPath(home);
  if (folder.isEmpty() || folder == QLatin1String("/")) return path;
  const QString cleaned = QDir::cleanPath(path);
  if (cleaned == folder) return QStringLiteral("~");
  if (cleaned.startsWith(folder + QLatin1Char('/'))) return QLatin1Char('~') + cleaned.mid(folder.size());
  return path;
}

QString tildePath(const QString& path) { return tildePath(path, QDir::homePath()); }

}  // namespace pm::settings
