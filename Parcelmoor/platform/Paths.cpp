#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "SharedNames.h"

namespace pm {
namespace {

QString xdgDirectory(const char* variable, const QString& fallbackUnderHome) {
  const QString value = qEnvironmentVariable(variable);
  // The XDG base-directory rules ignore relative paths.
  if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
  return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + fallbackUnderHome);
}

}  // namespace

Paths Paths::standard() {
  const QString data = xdgDirectory("XDG_DATA_HOME", QStringLiteral(".local/share"));
  const QString config = xdgDirectory("XDG_CONFIG_HOME", QStringLiteral(".config"));
  return Paths{data + QLatin1Char('/') + QLatin1String(names::kSuiteName), data + QLatin1String("/Parcelmoor"),
               config + QLatin1String("/parcelmoor"), QDir::tempPath()};
}

Paths Paths::under(const QString& root) {
  const QString base = QDir::cleanPath(root);
  return Paths{base + QLatin1String("/group"), base + QLatin1String("/support"),
               base + QLatin1String("/config"), base + QLatin1String("/tmp")};
}

QString Paths::inbox() const { return groupContainer + QLatin1String("/Inbox"); }
QString Paths::uploadWake() const { return groupContainer + QLatin1String("/upload-wake"); }
QString Paths::historyFile() const { return applicationSupport + QLatin1String("/buckets.json"); }
QString Paths::suiteFile(const QString& suiteName) const {
  return suiteDirectory + QLatin1Char('/') + suiteName + QLatin1String(".json");
}

bool ensurePrivateDirectory(const QString& path) {
  constexpr auto kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
  const QFileInfo folder(path);
  if (!QDir().mkpath(folder.absolutePath())) return false;
  // Made private from the start, so no other user can open it in the moment before a chmod; one that
  // exists already is tightened.
  if (!folder.isDir() && !QDir().mkdir(path, kPrivate) && !QFileInfo(path).isDir()) return false;
  return QFile::setPermissions(path, kPrivate);
}

}  // namespace pm
