#include "QueryItems.h"

#include <QUrl>

namespace pm {

namespace {

QString decoded(QStringView text, PlusSign plus) {
  QByteArray raw = text.toUtf8();
  // Before the percent-decoding, so that an encoded plus sign ("%2B") stays one.
  if (plus == PlusSign::space) raw.replace('+', ' ');
  return QUrl::fromPercentEncoding(raw);
}

}  // namespace

QList<QueryItem> parseQueryItems(QStringView query, PlusSign plus) {
  QList<QueryItem> items;
  for (const QStringView piece : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
    const qsizetype equals = piece.indexOf(QLatin1Char('='));
    if (equals < 0) {
      items.append({decoded(piece, plus), std::nullopt});
    } else {
      items.append({decoded(piece.left(equals), plus), decoded(piece.mid(equals + 1), plus)});
    }
  }
  return items;
}

std::optional<QString> firstQueryValue(const QList<QueryItem>& items, QStringView name) {
  for (const QueryItem& item : items) {
    if (item.name == name) return item.value;
  }
  return std::nullopt;
}

}  // namespace pm
