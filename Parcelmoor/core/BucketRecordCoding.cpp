#include "BucketRecordCoding.h"

#include <QJsonObject>
#include <QTimeZone>

#include <utility>

#include "core/Identifiers.h"
#include "platform/JsonNumbers.h"

namespace pm {
namespace {

// ---- JSON text, written by hand: the keys go in the order of the fields (QJsonObject sorts them), and a
// history of ten thousand records is encoded record by record as they arrive, not all over again.

// How many bytes a UTF-16 unit takes in a JSON string. Everything outside printable ASCII is escaped by its
// unit, which keeps even a lone surrogate as it was read.
int jsonLength(char16_t unit) {
  switch (unit) {
    case u'"':
    case u'\\':
    case u'\n':
    case u'\r':
    case u'\t': return 2;
    default: return unit < 0x20 || unit > 0x7e ? 6 : 1;
  }
}

// The length first, so the text grows once, to its exact size: a long link costs no reallocations.
void appendJsonString(QByteArray& out, QStringView text) {
  qsizetype length = 2;
  for (const QChar c : text) length += jsonLength(c.unicode());
  const qsizetype start = out.size();
  out.resize(start + length);
  char* next = out.data() + start;
  *next++ = '"';
  for (const QChar c : text) {
    const char16_t unit = c.unicode();
    switch (jsonLength(unit)) {
      case 1: *next++ = char(unit); break;
      case 2:
        *next++ = '\\';
        *next++ = unit == u'\n' ? 'n' : unit == u'\r' ? 'r' : unit == u'\t' ? 't' : char(unit);
        break;
      default: {
        static constexpr char kHex[] = "0123456789abcdef";
        *next++ = '\\';
        *next++ = 'u';
        for (int shift = 12; shift >= 0; shift -= 4) *next++ = kHex[(unit >> shift) & 0xf];
      }
    }
  }
  *next = '"';
}

// ---- Dates: "2026-01-31T12:00:00Z", or with an offset such as "+02:00" in place of the "Z" when read

int digits(QLatin1StringView text, qsizetype from, qsizetype count) {
  int value = 0;
  for (qsizetype i = from; i < from + count; ++i) {
    const char c = text[i].toLatin1();
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool isWritableYear(const QDate& date) { return date.year() >= 1 && date.year() <= 9999; }

// Made once: asking Qt for the UTC zone costs more than the rest of reading a date.
const QTimeZone& utcZone() {
  static const QTimeZone zone = QTimeZone::utc();
  return zone;
}

// Parsed by hand: Qt's ISO parser also takes dates without a time, fractions and other shapes the file
// does not allow, and a regular expression per date made loading a long history slow.
std::optional<QDateTime> decodeDate(QLatin1StringView text) {
  const auto at = [text](qsizetype i) { return text[i].toLatin1(); };
  const bool utc = text.size() == 20 && at(19) == 'Z';
  const bool offset = text.size() == 25 && (at(19) == '+' || at(19) == '-') && at(22) == ':';
  if (!utc && !offset) return std::nullopt;
  if (at(4) != '-' || at(7) != '-' || at(10) != 'T' || at(13) != ':' || at(16) != ':') return std::nullopt;
  const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
  const int hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
  if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) return std::nullopt;
  const QDate date(year, month, day);
  const QTime time(hour, minute, second);
  if (!date.isValid() || !time.isValid()) return std::nullopt;
  QDateTime result(date, time, utcZone());
  if (offset) {
    const int offsetHours = digits(text, 20, 2), offsetMinutes = digits(text, 23, 2);
    if (offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59) return std::nullopt;
    const int seconds = (offsetHours * 60 + offsetMinutes) * 60;
    result = result.addSecs(at(19) == '+' ? -seconds : seconds);
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

// By hand, not through a formatter: every record is encoded as it arrives.
void appendDate(QByteArray& out, const QDateTime& date, QLatin1StringView readAs) {
  // A date read in the form it is written in goes back as it was: formatting every date of a long history
  // again made loading it slow.
  if (readAs.size() == 20 && readAs.back() == QLatin1Char('Z')) {
    out.append('"');
    out.append(readAs.data(), readAs.size());
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
                  QLatin1StringView createdAtText = {}, QLatin1StringView completedAtText = {}) {
  QByteArray out;
  out.reserve(160 + (shareURLText ? 6 * shareURLText->size() : 0));
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

// A JSON string as Latin-1 bytes, for the values that are plain ASCII when they are anything: a character
// outside Latin-1 turns into "?", which no identifier or date holds either.
std::optional<QByteArray> latin1Text(const QJsonValue& value) {
  if (!value.isString()) return std::nullopt;
  return value.toString().toLatin1();
}

}  // namespace

std::optional<DecodedBucketRecord> decodeBucketRecord(const QJsonValue& value) {
  if (!value.isObject()) return std::nullopt;
  const QJsonObject object = value.toObject();
  const auto id = latin1Text(object.value(QLatin1String("id")));
  const auto createdAt = latin1Text(object.value(QLatin1String("createdAt")));
  const auto completedAt = latin1Text(object.value(QLatin1String("completedAt")));
  const auto itemCount = exactInteger(object.value(QLatin1String("itemCount")));
  const QJsonValue isClosed = object.value(QLatin1String("isClosed"));
  if (!id || !createdAt || !completedAt || !itemCount || !isClosed.isBool()) return std::nullopt;

  // Absent or null is no link; a value that is not a string fails the record.
  std::optional<QString> shareURL;
  const QJsonValue link = object.value(QLatin1String("shareURL"));
  if (!link.isUndefined() && !link.isNull()) {
    if (!link.isString()) return std::nullopt;
    shareURL = link.toString();
  }
  return decodeBucketRecord(StoredBucketRecord{QLatin1StringView(*id), QLatin1StringView(*createdAt),
                                               QLatin1StringView(*completedAt), *itemCount,
                                               std::move(shareURL), isClosed.toBool(), {}});
}

std::optional<DecodedBucketRecord> decodeBucketRecord(const StoredBucketRecord& stored) {
  const auto id = uuidFromText(stored.id);
  const auto createdAt = decodeDate(stored.createdAt);
  const auto completedAt = decodeDate(stored.completedAt);
  if (!id || !createdAt || !completedAt) return std::nullopt;

  // A link that is not a usable URL fails the record.
  std::optional<QUrl> shareURL;
  if (stored.shareURL) {
    QUrl url(*stored.shareURL, QUrl::StrictMode);
    if (stored.shareURL->isEmpty() || !url.isValid()) return std::nullopt;
    shareURL = std::move(url);
  }
  BucketRecord record{*id, *createdAt, *completedAt, stored.itemCount, std::move(shareURL), stored.isClosed};
  QByteArray encoded = stored.writtenForm.isEmpty()
                           ? encode(record, stored.shareURL, stored.createdAt, stored.completedAt)
                           : stored.writtenForm.toByteArray();
  return DecodedBucketRecord{std::move(record), std::move(encoded)};
}

QByteArray encodeBucketRecord(const BucketRecord& record) {
  return encode(record, record.shareURL ? std::optional<QString>(record.shareURL->toString(QUrl::FullyEncoded))
                                        : std::nullopt);
}

}  // namespace pm
