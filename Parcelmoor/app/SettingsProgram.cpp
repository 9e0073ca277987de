#include "SettingsProgram.h"

#include <QDir>
#include <QFileInfo>

namespace pm {

QString settingsProgramPath(const QString& agentDirectory, const QString& installedPath) {
  const QString helper = QStringLiteral("Helpers/ParcelmoorSettings");
  const QDir agent(agentDirectory);
  const QString inside = agent.filePath(helper);
  if (QFileInfo::exists(inside)) return inside;
  // Installed, the agent sits among the system's programs and its helper among the helper programs.
  const QString installed = QDir::cleanPath(agent.absoluteFilePath(installedPath));
  if (QFileInfo::exists(installed)) return installed;
  return QDir::cleanPath(agent.absoluteFilePath(QStringLiteral("..")) + QLatin1Char('/') + helper);
}

QString settingsProgramPath(const QString& agentDirectory) {
  return settingsProgramPath(agentDirectory, QStringLiteral(PM_INSTALLED_SETTINGS_PROGRAM));
}

}  // namespace pm
