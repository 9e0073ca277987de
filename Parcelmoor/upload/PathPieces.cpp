#include "PathPieces.h"

namespace pm {

QStringList pathPieces(const QString& path) {
  QStringList pieces = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  pieces.removeIf([](const QString& piece) { return piece == QLatin1String(".") || piece == QLatin1String(".."); });
  return pieces;
}

QString cleanPath(const QString& path) { return pathPieces(path).join(QLatin1Char('/')); }

}  // namespace pm
