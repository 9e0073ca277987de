#include "Log.h"

Q_LOGGING_CATEGORY(lcApi, "com.wrenfold.Parcelmoor.api")
Q_LOGGING_CATEGORY(lcAuth, "com.wrenfold.Parcelmoor.auth")
Q_LOGGING_CATEGORY(lcNotifications, "com.wrenfold.Parcelmoor.notifications")
Q_LOGGING_CATEGORY(lcUpload, "com.wrenfold.Parcelmoor.upload")
Q_LOGGING_CATEGORY(lcDrive, "com.wrenfold.Parcelmoor.drive")
Q_LOGGING_CATEGORY(lcDropbox, "com.wrenfold.Parcelmoor.dropbox")
Q_LOGGING_CATEGORY(lcOneDrive, "com.wrenfold.Parcelmoor.onedrive")
Q_LOGGING_CATEGORY(lcICloud, "com.wrenfold.Parcelmoor.icloud")
Q_LOGGING_CATEGORY(lcFtp, "com.wrenfold.Parcelmoor.ftp")
Q_LOGGING_CATEGORY(lcOAuth, "com.wrenfold.Parcelmoor.oauth")
Q_LOGGING_CATEGORY(lcSync, "com.wrenfold.Parcelmoor.sync")
Q_LOGGING_CATEGORY(lcApp, "com.wrenfold.Parcelmoor.app")
Q_LOGGING_CATEGORY(lcSettings, "com.wrenfold.Parcelmoor.settings")
Q_LOGGING_CATEGORY(lcKeychain, "com.wrenfold.Parcelmoor.keychain")
Q_LOGGING_CATEGORY(lcDefaults, "com.wrenfold.Parcelmoor.defaults")
Q_LOGGING_CATEGORY(lcSignals, "com.wrenfold.Parcelmoor.signals")

namespace pm {

bool logsPrivateValues() {
  static const bool enabled = qEnvironmentVariable("PARCELMOOR_LOG_PRIVATE") == QLatin1String("1");
  return enabled;
}

QString privateValue(const QString& value) {
  return logsPrivateValues() ? value : QStringLiteral("<private>");
}

}  // namespace pm
