#pragma once

#include <QString>

namespace pm::settings {

// Where a save dialog starts: the user's documents folder when it exists, else the home folder (a dialog
// given a folder that is not there falls back to the working directory, which the user never chose).
QString saveFolder(const QString& documents, const QString& home);
// The same for this user's folders.
QString saveFolder();

}  // namespace pm::settings
