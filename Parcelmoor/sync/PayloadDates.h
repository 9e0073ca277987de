#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace pm {

// Dates inside the synced payload: whole seconds, written as ISO 8601 internet date-time text in UTC
// ("2024-03-01T12:00:00Z"), so a payload survives sealing and opening unchanged and every computer compares
// the same instants.

// `date` rounded down to the whole second (also before 1970).
QDateTime wholeSecond(const QDateTime& date);

// The ISO text of `date` rounded down to the whole second. The distant past, and anything earlier than
// 1 January of year 1, is "0001-01-01T00:00:00Z"; dates after the year 9999 are written as its last second.
// Nothing for an invalid date.
std::optional<QString> payloadDateText(const QDateTime& date);
// "YYYY-MM-DDTHH:MM:SS" with "Z" or a "+HH:MM"/"-HH:MM" offset, as UTC; "0001-01-01T00:00:00Z" reads as the
// distant past. Nothing for any other text.
std::optional<QDateTime> payloadDateFromText(const QString& text);

}  // namespace pm
