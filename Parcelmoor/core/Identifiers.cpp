#include "Identifiers.h"

namespace pm {

QString uuidText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

std::optional<QUuid> uuidFromText(const QString& text) {
  if (text.size() != 36) return std::nullopt;
  const QUuid id = QUuid::fromString(text);
  if (id.toString(QUuid::WithoutBraces).compare(text, Qt::CaseInsensitive) != 0) return std::nullopt;
  return id;
}

}  // namespace pm
