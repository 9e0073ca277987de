#include "SettingsProgram.h"

#include <QDir>
#include <QFileInfo>

namespace pm {

QString settingsProgramPath(const QString& agentDirectory) {
  const QString helper = QStringLiteral("Helpers/ParcelmoorSettings");
  const QDir agent(agentDirectory);
  const QString inside = agent.filePath(helper);
  if (QFileInfo::exists(inside)) return inside;
  return QDir::cleanPath(agent.absoluteFilePath(QStringLiteral("..")) + QLatin1Char('/') + helper);
}

}  // namespace pm
