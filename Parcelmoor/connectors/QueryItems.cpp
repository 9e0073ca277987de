#include "QueryItems.h"

#include <QUrl>

namespace pm {

namespace {

QString decoded(QStringView text) { return QUrl::fromPercentEncoding(text.toUtf8()); }

}  // namespace

QList<QueryItem> parseQueryItems(QStringView query) {
  QList<QueryItem> items;
  for (const QStringView piece : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
    const qsizetype equals = piece.indexOf(QLatin1Char('='));
    if (equals < 0) {
      items.append({decoded(piece), std::nullopt});
    } else {
      items.append({decoded(piece.left(equals)), decoded(piece.mid(equals + 1))});
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
