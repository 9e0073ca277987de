#pragma once

#include <QString>
#include <QStringList>

namespace pm {

// The "/"-separated pieces of a relative path or a folder prefix that name something: empty pieces and the
// "." and ".." pieces are dropped (a batch path ending in "/.." or a typed "../../x" prefix brings them).
// Qt, libcurl and the servers resolve such pieces, so left in a remote path they would move a file out of
// its bucket's folder, or a request to another endpoint. Every uploader builds its paths from these.
QStringList pathPieces(const QString& path);

// pathPieces() joined by "/"; empty when nothing is left.
QString cleanPath(const QString& path);

}  // namespace pm
