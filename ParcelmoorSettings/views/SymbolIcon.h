#pragma once

#include <QIcon>
#include <QString>

namespace pm::settings {

// The icon for a symbol name of the pages and the connections ("cloud", "server.rack", …): the program's
// own drawing of a connection symbol, else the first of its counterparts the user's icon theme has, else a
// picture of the widget style (a plain file for a name it does not know), so a row never goes without an
// icon.
QIcon symbolIcon(const QString& symbolName);

}  // namespace pm::settings
