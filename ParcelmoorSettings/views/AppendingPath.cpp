#include "AppendingPath.h"

namespace pm::settings {

QUrl appendingPath(QUrl base, const QString& path) {
  QString joined = base.path();
  if (!joined.endsWith(QLatin1Char('/'))) joined += QLatin1Char('/');
  base.setPath(joined + path);
  return base;
}

}  // namespace pm::settings
