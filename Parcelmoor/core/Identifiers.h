#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace pm {

// The canonical upper-case text of a UUID, without braces, as every stored and wire identifier uses.
QString uuidText(const QUuid& id);
// A UUID from its canonical 36-character text in either letter case; nothing for any other form (braces,
// missing hyphens, stray characters), so a malformed identifier is never taken for another one.
std::optional<QUuid> uuidFromText(const QString& text);
// The same from text read as bytes, as a long stored list is.
std::optional<QUuid> uuidFromText(QLatin1StringView text);

}  // namespace pm
