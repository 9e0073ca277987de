#pragma once

#include <QIcon>
#include <QString>

namespace pm::settings {

// The icon for a symbol name of the pages ("cloud", "gearshape.2", …): the first of its counterparts the
// user's icon theme has, else a picture of the widget style, so a row never goes without an icon.
QIcon symbolIcon(const QString& symbolName);

}  // namespace pm::settings
