#include "R2Endpoint.h"

#include <QUrl>

#include "model/TypedText.h"

namespace pm::settings {

namespace {

QString suffix() {
  return QString::fromLatin1(kR2DomainSuffix);
}

}  // namespace

QString r2AccountID(const QString& endpoint) {
  // Without a scheme a typed "id.r2…/path" parses as a path, not a host, and is taken whole.
  const QUrl url(endpoint, QUrl::StrictMode);
  const QString host = url.isValid() && !url.host().isEmpty() ? url.host() : endpoint;
  if (!host.endsWith(suffix(), Qt::CaseSensitive)) return {};
  return host.chopped(suffix().size());
}

QString r2Endpoint(const QString& account) {
  QString id = trimmedBlanks(account);
  if (id.contains(suffix(), Qt::CaseSensitive)) id = r2AccountID(id);
  if (id.isEmpty()) return {};
  return QStringLiteral("https://") + id + suffix();
}

}  // namespace pm::settings
