#pragma once

#include <QString>

namespace pm::settings {

// `path` as a user reads it: "~" in place of the home folder `home` at its start (the folder itself is
// "~"); any other path as it is.
QString tildePath(const QString& path, const QString& home);
// The same for this user's home folder.
QString tildePath(const QString& path);

}  // namespace pm::settings
