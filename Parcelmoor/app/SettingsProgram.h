#pragma once

#include <QString>

namespace pm {

// Where the settings program is: "Helpers/ParcelmoorSettings" inside the agent's folder when it is there,
// else the same path in the folder that holds the agent's folder (not checked).
QString settingsProgramPath(const QString& agentDirectory);

}  // namespace pm
