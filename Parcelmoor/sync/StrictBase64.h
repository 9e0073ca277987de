#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pm {

// Standard Base64 as settings sync reads it from the service: padded to a multiple of four, nothing
// outside the alphabet (no blanks, no line breaks, no URL-safe characters, no data after the padding).
// Nothing for any other text; the empty text is the empty data.
std::optional<QByteArray> strictBase64Decode(const QString& text);

}  // namespace pm
