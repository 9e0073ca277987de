#include "S3ObjectKeys.h"

#include <QStringList>

namespace pm::s3keys {

bool sentAsIs(const QUrl& url) {
  // Qt's HTTP stack formats the request line with NormalizePathSegments; asking QUrl for the same
  // normalisation reproduces it exactly, quirks included.
  const QString path = url.path(QUrl::FullyEncoded);
  return url.adjusted(QUrl::NormalizePathSegments).path(QUrl::FullyEncoded) == path;
}

std::optional<QString> rewrittenPiece(const QString& key) {
  for (const QString& piece : key.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    QUrl probe(QStringLiteral("http://localhost"));
    probe.setPath(QLatin1String("/a/") + QString::fromLatin1(QUrl::toPercentEncoding(piece)) + QLatin1String("/b"),
                  QUrl::StrictMode);
    if (!sentAsIs(probe)) return piece;
  }
  return std::nullopt;
}

}  // namespace pm::s3keys
