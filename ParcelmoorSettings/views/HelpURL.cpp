#include "HelpURL.h"

#include "core/ParcelmoorAPI.h"
#include "views/AppendingPath.h"

namespace pm::settings {

namespace {

QString helpWord(UploaderConfig::Kind kind) {
  using Kind = UploaderConfig::Kind;
  switch (kind) {
    case Kind::parcelmoor:
    case Kind::customS3:
      return QStringLiteral("s3");
    case Kind::r2:
      return QStringLiteral("r2");
    case Kind::ftp:
      return QStringLiteral("ftp");
    case Kind::icloud:
      return QStringLiteral("icloud");
    case Kind::googleDrive:
      return QStringLiteral("drive");
    case Kind::oneDrive:
      return QStringLiteral("onedrive");
    case Kind::dropbox:
      return QStringLiteral("dropbox");
  }
  Q_UNREACHABLE();
  return QString();
}

}  // namespace

QUrl helpURL(UploaderConfig::Kind kind, const QUrl& base) {
  return appendingPath(base, QLatin1String("help/") + helpWord(kind));
}

QUrl helpURL(UploaderConfig::Kind kind) {
  return helpURL(kind, serviceBaseUrl());
}

}  // namespace pm::settings
