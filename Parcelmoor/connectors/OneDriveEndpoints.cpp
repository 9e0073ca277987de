#include "OneDriveEndpoints.h"

namespace pm {

namespace {

QString withoutTrailingSlashes(const QUrl& url) {
  QString text = url.toString(QUrl::FullyEncoded);
  while (text.endsWith(QLatin1Char('/'))) text.chop(1);
  return text;
}

}  // namespace

QUrl OneDriveEndpoints::graphUrl(const QString& relative) const {
  return QUrl(withoutTrailingSlashes(graph) + QLatin1Char('/') + relative, QUrl::TolerantMode);
}

QUrl OneDriveEndpoints::loginUrl(const QString& path) const {
  return QUrl(withoutTrailingSlashes(login) + path, QUrl::StrictMode);
}

}  // namespace pm
