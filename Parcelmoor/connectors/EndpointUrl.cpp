#include "EndpointUrl.h"

namespace pm {

QUrl endpointUrl(const QUrl& base, const QString& path) {
  QString root = base.toString(QUrl::FullyEncoded);
  while (root.endsWith(QLatin1Char('/'))) root.chop(1);
  return QUrl(root + path, QUrl::StrictMode);
}

}  // namespace pm
