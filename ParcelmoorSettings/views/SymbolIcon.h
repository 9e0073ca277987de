#pragma once

#include <QIcon>
#include <QString>

#include "views/SymbolIconEngine.h"

namespace pm::settings {

// The icon for a symbol name of the pages and the connections ("cloud", "server.rack", …): the program's
// own drawing, coloured from the palette as it is painted (`tone`), else (without Qt's SVG support) the
// first of its counterparts the user's icon theme has, else a picture of the widget style (a plain file
// for a name it does not know), so a row never goes without an icon.
QIcon symbolIcon(const QString& symbolName, SymbolTone tone = SymbolTone::text);

}  // namespace pm::settings
