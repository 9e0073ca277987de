#include "PathPieces.h"

namespace pm {

QStringList pathPieces(const QString& path) {
  QStringList pieces = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  pieces.removeIf([](const QString& piece) { return piece == QLatin1String(".") || piece == QLatin1String(".."); });
  return pieces;
}

QString cleanPath(const QString& path) {
  QString clean = pathPieces(path).join(QLatin1Char('/'));
  // A path that was clean already comes back as the very string given, sharing its text: every unit of a
  // large batch keeps its file's name, and the item holds that same name.
  return clean == path ? path : clean;
}

}  // namespace pm
