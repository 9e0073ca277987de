#include "StrictBase64.h"

namespace pm {

namespace {

bool isAlphabet(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '+' || u == '/';
}

}  // namespace

std::optional<QByteArray> strictBase64Decode(const QString& text) {
  if (text.size() % 4 != 0) return std::nullopt;
  qsizetype padding = 0;
  while (padding < 2 && padding < text.size() && text.at(text.size() - 1 - padding) == QLatin1Char('='))
    ++padding;
  for (qsizetype i = 0; i < text.size() - padding; ++i) {
    if (!isAlphabet(text.at(i))) return std::nullopt;
  }
  const auto decoded = QByteArray::fromBase64Encoding(
      text.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return std::nullopt;
  return decoded.decoded;
}

}  // namespace pm
