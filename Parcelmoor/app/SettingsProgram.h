#pragma once

#include <QString>

namespace pm {

// Where the settings program is: "Helpers/ParcelmoorSettings" inside the agent's folder when it is there
// (the build tree), else the installed one at `installedPath` relative to the agent's folder when it is
// there, else "Helpers/ParcelmoorSettings" in the folder that holds the agent's folder (not checked).
QString settingsProgramPath(const QString& agentDirectory, const QString& installedPath);
// The same for this build's installed layout (from the programs' folder to the helpers' folder).
QString settingsProgramPath(const QString& agentDirectory);

}  // namespace pm
