#pragma once

#include <QJsonValue>

#include <optional>

namespace pm {

// A JSON number that is a whole number within 64 bits (21 and 21.0 are; 21.5, 1e300 and "21" are not).
// Nothing for anything else, with no out-of-range conversion on the way.
std::optional<qint64> exactInteger(const QJsonValue& value);

}  // namespace pm
