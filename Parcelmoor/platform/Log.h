#pragma once

#include <QLoggingCategory>
#include <QString>

// Log categories are named "com.wrenfold.Parcelmoor.<area>" so one filter rule
// ("com.wrenfold.Parcelmoor.*=true") follows the whole system.
Q_DECLARE_LOGGING_CATEGORY(lcApi)
Q_DECLARE_LOGGING_CATEGORY(lcAuth)
Q_DECLARE_LOGGING_CATEGORY(lcNotifications)
Q_DECLARE_LOGGING_CATEGORY(lcUpload)
Q_DECLARE_LOGGING_CATEGORY(lcDrive)
Q_DECLARE_LOGGING_CATEGORY(lcDropbox)
Q_DECLARE_LOGGING_CATEGORY(lcOneDrive)
Q_DECLARE_LOGGING_CATEGORY(lcICloud)
Q_DECLARE_LOGGING_CATEGORY(lcFtp)
Q_DECLARE_LOGGING_CATEGORY(lcOAuth)
Q_DECLARE_LOGGING_CATEGORY(lcSync)
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcKeychain)
Q_DECLARE_LOGGING_CATEGORY(lcDefaults)
Q_DECLARE_LOGGING_CATEGORY(lcSignals)

namespace pm {

// A value that may identify the user (an e-mail, a path, a remote name) prints as "<private>" unless
// PARCELMOOR_LOG_PRIVATE=1 was set when the process started. Secrets are never logged at all.
QString privateValue(const QString& value);

bool logsPrivateValues();

}  // namespace pm
