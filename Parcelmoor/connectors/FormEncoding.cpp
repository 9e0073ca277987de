#include "FormEncoding.h"

#include <QChar>
#include <QStringView>

#include <optional>

namespace pm {

namespace {

std::optional<QString> percentEncoded(QStringView value, AllowedCharacter allowed) {
  QString out;
  out.reserve(value.size());
  for (qsizetype i = 0; i < value.size(); ++i) {
    char32_t character = value[i].unicode();
    qsizetype units = 1;
    if (QChar::isHighSurrogate(character)) {
      if (i + 1 >= value.size() || !value[i + 1].isLowSurrogate()) return std::nullopt;
      character = QChar::surrogateToUcs4(value[i], value[i + 1]);
      units = 2;
    } else if (QChar::isLowSurrogate(character)) {
      return std::nullopt;
    }
    const QStringView text = value.mid(i, units);
    if (allowed(character)) {
      out.append(text);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      for (const char byte : text.toUtf8()) {
        out.append(QLatin1Char('%'));
        out.append(QLatin1Char(kHex[uchar(byte) >> 4]));
        out.append(QLatin1Char(kHex[uchar(byte) & 0xF]));
      }
    }
    i += units - 1;
  }
  return out;
}

}  // namespace

bool isTokenFormCharacter(char32_t character) {
  if (QChar::isLetterOrNumber(character) || QChar::isMark(character)) return true;
  return character == U'-' || character == U'.' || character == U'_' || character == U'~';
}

QStringList formEncodedPairs(const QMap<QString, QString>& fields, AllowedCharacter allowed) {
  QStringList pairs;
  for (auto it = fields.cbegin(); it != fields.cend(); ++it)
    pairs.append(it.key() + QLatin1Char('=') + percentEncoded(it.value(), allowed).value_or(QString()));
  return pairs;
}

QByteArray tokenRequestBody(const QMap<QString, QString>& fields) {
  return formEncodedPairs(fields, isTokenFormCharacter).join(QLatin1Char('&')).toUtf8();
}

}  // namespace pm
