#include "BucketRecordCoding.h"

#include <QJsonObject>
#include <QTimeZone>

#include <cstdio>
#include <utility>

#include "core/Identifiers.h"
#include "platform/JsonNumbers.h"

namespace pm {
namespace {

// ---- JSON text, written by hand: the keys go in the order of the fields (QJsonObject sorts them), and a
// history of ten thousand records is encoded record by record as they arrive, not all over again.

void appendJsonString(QByteArray& out, QStringView text) {
  out.append('"');
  for (const QChar c : text) {
    const char16_t unit = c.unicode();
    switch (unit) {
      case u'"': out.append("\\\""); break;
      case u'\\': out.append("\\\\"); break;
      case u'\n': out.append("\\n"); break;
      case u'\r': out.append("\\r"); break;
      case u'\t': out.append("\\t"); break;
      default:
        if (unit < 0x20 || unit > 0x7e) {
          // Everything outside printable ASCII is escaped by its UTF-16 unit, which keeps even a lone
          // surrogate as it was read.
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(unit));
          out.append(escaped, 6);
        } else {
          out.append(char(unit));
        }
    }
  }
  out.append('"');
}

// ---- Dates: "2026-01-31T12:00:00Z", or with an offset such as "+02:00" in place of the "Z" when read

int digits(QStringView text, qsizetype from, qsizetype count) {
  int value = 0;
  for (qsizetype i = from; i < from + count; ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return -1;
    value = value * 10 + (c - u'0');
  }
  return value;
}

bool isWritableYear(const QDate& date) { return date.year() >= 1 && date.year() <= 9999; }

// Parsed by hand: Qt's ISO parser also takes dates without a time, fractions and other shapes the file
// does not allow, and a regular expression per date made loading a long history slow.
std::optional<QDateTime> decodeDate(const QJsonValue& value) {
  if (!value.isString()) return std::nullopt;
  const QString text = value.toString();
  const bool utc = text.size() == 20 && text[19] == u'Z';
  const bool offset = text.size() == 25 && (text[19] == u'+' || text[19] == u'-') && text[22] == u':';
  if (!utc && !offset) return std::nullopt;
  if (text[4] != u'-' || text[7] != u'-' || text[10] != u'T' || text[13] != u':' || text[16] != u':')
    return std::nullopt;
  const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
  const int hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
  if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) return std::nullopt;
  const QDate date(year, month, day);
  const QTime time(hour, minute, second);
  if (!date.isValid() || !time.isValid()) return std::nullopt;
  QDateTime result(date, time, QTimeZone::utc());
  if (offset) {
    const int offsetHours = digits(text, 20, 2), offsetMinutes = digits(text, 23, 2);
    if (offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59) return std::nullopt;
    const int seconds = (offsetHours * 60 + offsetMinutes) * 60;
    result = result.addSecs(text[19] == u'+' ? -seconds : seconds);
  }
  // "9999-12-31T23:00:00-02:00" is a valid date, but its UTC form has no four-digit year to be written in.
  if (!isWritableYear(result.date())) return std::nullopt;
  return result;
}

void appendDigits(QByteArray& out, int value, int count) {
  char text[4];
  for (int i = count - 1; i >= 0; --i, value /= 10) text[i] = char('0' + value % 10);
  out.append(text, count);
}

// By hand, not through a formatter: loading a long history encodes every record once more.
void appendDate(QByteArray& out, const QDateTime& date, QStringView readAs) {
  // A date read in the form it is written in goes back as it was: formatting every date of a long history
  // again made loading it slow.
  if (readAs.size() == 20 && readAs.back() == u'Z') {
    out.append('"');
    out.append(readAs.toLatin1());
    out.append('"');
    return;
  }
  const QDateTime utc = date.toUTC();
  const QDate day = utc.date();
  const QTime time = utc.time();
  out.append('"');
  appendDigits(out, day.year(), 4);
  out.append('-');
  appendDigits(out, day.month(), 2);
  out.append('-');
  appendDigits(out, day.day(), 2);
  out.append('T');
  appendDigits(out, time.hour(), 2);
  out.append(':');
  appendDigits(out, time.minute(), 2);
  out.append(':');
  appendDigits(out, time.second(), 2);
  out.append("Z\"");
}

// ---- One record

// The texts are what the record was read from, when it was: a date in its written form and the link as
// the service handed it out go back unchanged.
QByteArray encode(const BucketRecord& record, const std::optional<QString>& shareURLText,
                  QStringView createdAtText = {}, QStringView completedAtText = {}) {
  QByteArray out;
  out.reserve(200);
  out.append("{\"id\":\"");
  out.append(record.id.toByteArray(QUuid::WithoutBraces).toUpper());  // hexadecimal digits and hyphens
  out.append('"');
  out.append(",\"createdAt\":");
  appendDate(out, record.createdAt, createdAtText);
  out.append(",\"completedAt\":");
  appendDate(out, record.completedAt, completedAtText);
  out.append(",\"itemCount\":");
  out.append(QByteArray::number(record.itemCount));
  if (shareURLText) {
    out.append(",\"shareURL\":");
    appendJsonString(out, *shareURLText);
  }
  out.append(",\"isClosed\":");
  out.append(record.isClosed ? "true" : "false");
  out.append('}');
  return out;
}

std::optional<QUuid> decodeUuid(const QJsonValue& value) {
  return value.isString() ? uuidFromText(value.toString()) : std::nullopt;
}

}  // namespace

std::optional<DecodedBucketRecord> decodeBucketRecord(const QJsonValue& value) {
  if (!value.isObject()) return std::nullopt;
  const QJsonObject object = value.toObject();
  const auto id = decodeUuid(object.value(QLatin1String("id")));
  const auto createdAt = decodeDate(object.value(QLatin1String("createdAt")));
  const auto completedAt = decodeDate(object.value(QLatin1String("completedAt")));
  const auto itemCount = exactInteger(object.value(QLatin1String("itemCount")));
  const QJsonValue isClosed = object.value(QLatin1String("isClosed"));
  if (!id || !createdAt || !completedAt || !itemCount || !isClosed.isBool()) return std::nullopt;

  // Absent or null is no link; a value that is not a usable URL fails the record.
  std::optional<QUrl> shareURL;
  std::optional<QString> shareURLText;
  const QJsonValue link = object.value(QLatin1String("shareURL"));
  if (!link.isUndefined() && !link.isNull()) {
    if (!link.isString()) return std::nullopt;
    QUrl url(link.toString(), QUrl::StrictMode);
    if (link.toString().isEmpty() || !url.isValid()) return std::nullopt;
    shareURL = std::move(url);
    shareURLText = link.toString();
  }
  BucketRecord record{*id, *createdAt, *completedAt, *itemCount, std::move(shareURL), isClosed.toBool()};
  QByteArray encoded = encode(record, shareURLText, object.value(QLatin1String("createdAt")).toString(),
                              object.value(QLatin1String("completedAt")).toString());
  return DecodedBucketRecord{std::move(record), std::move(encoded)};
}

QByteArray encodeBucketRecord(const BucketRecord& record) {
  return encode(record, record.shareURL ? std::optional<QString>(record.shareURL->toString(QUrl::FullyEncoded))
                                        : std::nullopt);
}

}  // namespace pm
