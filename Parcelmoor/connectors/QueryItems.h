#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace pm {

// One "name=value" piece of a URL query, both percent-decoded. A piece without "=" has a name and no value.
struct QueryItem {
  QString name;
  std::optional<QString> value;
};

// How a "+" in a query reads: as itself (a URL's query) or as a space (a form-encoded one, as the texts a
// provider writes into a redirect are).
enum class PlusSign { plus, space };

// The items of a raw (still percent-encoded) query, in order; empty pieces between "&" are skipped.
QList<QueryItem> parseQueryItems(QStringView query, PlusSign plus = PlusSign::plus);

// The value of the first item named exactly `name`; nothing when there is no such item or it has no value.
std::optional<QString> firstQueryValue(const QList<QueryItem>& items, QStringView name);

}  // namespace pm
