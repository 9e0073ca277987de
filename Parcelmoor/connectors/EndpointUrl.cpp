#include "EndpointUrl.h"

namespace pm {

QString endpointRoot(const QUrl& base) {
  QString root = base.toString(QUrl::FullyEncoded);
  while (root.endsWith(QLatin1Char('/'))) root.chop(1);
  return root;
}

QUrl endpointUrl(const QUrl& base, const QString& path) {
  return QUrl(endpointRoot(base) + path, QUrl::StrictMode);
}

}  // namespace pm
