#include "Identifiers.h"

#include <array>

namespace pm {

QString uuidText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

namespace {

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Read by hand: Qt's parser also takes braces and other forms, and checking its result by writing it out
// again cost more than the parse (a long stored list reads thousands of identifiers).
template <typename Text>
std::optional<QUuid> canonicalUuid(Text text) {
  if (text.size() != 36) return std::nullopt;
  std::array<uchar, 16> bytes{};
  int nibble = 0;
  for (qsizetype i = 0; i < 36; ++i) {
    const char16_t c = char16_t(text[i].unicode());
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != u'-') return std::nullopt;
      continue;
    }
    const int value = hexValue(c);
    if (value < 0) return std::nullopt;
    bytes[nibble / 2] = uchar(bytes[nibble / 2] << 4 | value);
    ++nibble;
  }
  return QUuid::fromRfc4122(QByteArrayView(bytes.data(), bytes.size()));
}

}  // namespace

std::optional<QUuid> uuidFromText(const QString& text) { return canonicalUuid(QStringView(text)); }

std::optional<QUuid> uuidFromText(QLatin1StringView text) { return canonicalUuid(text); }

}  // namespace pm
