#include "Paths.h"

#include <QDir>
#include <QFile>

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
  if (!QDir().mkpath(path)) return false;
  return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace pm
