#include "PayloadDates.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>

#include "core/UploaderConfig.h"

namespace pm {

namespace {

constexpr qint64 kMillisecondsPerSecond = 1000;

const QString kFirstDayText = QStringLiteral("0001-01-01T00:00:00Z");

// Qt's calendar has no year 0 and writes no ISO text outside the years 1 to 9999.
QDateTime firstWritable() {
  return QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
}
QDateTime lastWritable() {
  return QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), QTimeZone::utc());
}

}  // namespace

QDateTime wholeSecond(const QDateTime& date) {
  if (!date.isValid()) return date;
  const qint64 ms = date.toMSecsSinceEpoch();
  qint64 remainder = ms % kMillisecondsPerSecond;
  if (remainder < 0) remainder += kMillisecondsPerSecond;
  return QDateTime::fromMSecsSinceEpoch(ms - remainder, QTimeZone::utc());
}

std::optional<QString> payloadDateText(const QDateTime& date) {
  if (!date.isValid()) return std::nullopt;
  const QDateTime whole = wholeSecond(date);
  if (whole <= firstWritable()) return kFirstDayText;
  // Qt writes "Z" only for Qt::UTC dates, not for dates in the UTC time zone.
  return std::min(whole, lastWritable()).toUTC().toString(Qt::ISODate);
}

std::optional<QDateTime> payloadDateFromText(const QString& text) {
  if (text == kFirstDayText) return UploaderConfig::distantPast();
  static const QRegularExpression form(
      QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(Z|[+-]\\d{2}:\\d{2})$"));
  if (!form.match(text).hasMatch()) return std::nullopt;
  const QDateTime date = QDateTime::fromString(text, Qt::ISODate);
  if (!date.isValid()) return std::nullopt;
  return date.toUTC();
}

}  // namespace pm
