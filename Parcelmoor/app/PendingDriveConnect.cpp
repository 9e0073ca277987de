#include "PendingDriveConnect.h"

#include <QRegularExpression>
#include <QStringList>

namespace pm {

namespace {

// At most two non-empty pieces: the first one, and everything after the "|" that ended it.
QStringList splitOnceDroppingEmpty(const QString& value) {
  QStringList pieces;
  qsizetype start = 0;
  for (qsizetype at = 0; at < value.size(); ++at) {
    if (value.at(at) != QLatin1Char('|')) continue;
    if (at > start) {
      pieces.append(value.mid(start, at - start));
      start = at + 1;
      break;
    }
    start = at + 1;
  }
  if (start < value.size()) pieces.append(value.mid(start));
  return pieces;
}

// The canonical form only (8-4-4-4-12 hex digits, either case): no braces, no URN prefix.
std::optional<QUuid> uuidFromCanonicalText(const QString& text) {
  static const QRegularExpression pattern(
      QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
  if (!pattern.match(text).hasMatch()) return std::nullopt;
  return QUuid::fromString(text);
}

}  // namespace

std::optional<PendingDriveConnect> PendingDriveConnect::parse(const QString& value) {
  const QStringList pieces = splitOnceDroppingEmpty(value);
  if (pieces.size() < 2) return std::nullopt;
  const std::optional<QUuid> connection = uuidFromCanonicalText(pieces.at(0));
  if (!connection) return std::nullopt;
  const std::optional<UploaderConfig::Kind> kind = kindFromRawValue(pieces.at(1));
  if (!kind) return std::nullopt;
  const std::optional<OAuthProvider> provider = oauthProvider(*kind);
  if (!provider) return std::nullopt;
  return PendingDriveConnect{*connection, *provider};
}

}  // namespace pm
