#include <QTimeZone>

#include <gtest/gtest.h>

#include "core/BucketHistoryDecoding.h"

namespace pm {
namespace {

// A record as a save writes it; the rows below change one piece of it at a time.
const QByteArray kWritten =
    R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-111111111111","createdAt":"2024-02-01T10:00:00Z",)"
    R"("completedAt":"2024-02-01T10:05:00Z","itemCount":3,"shareURL":"https://share.example/s/a#k=Zm9v",)"
    R"("isClosed":false})";
const QByteArray kOther =
    R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-222222222222","createdAt":"2024-02-02T10:00:00Z",)"
    R"("completedAt":"2024-02-02T10:05:00Z","itemCount":1,"isClosed":true})";

QByteArray changed(const char* from, const QByteArray& to) {
  return QByteArray(kWritten).replace(from, to);
}
QByteArray arrayOf(const QByteArrayList& records) {
  return '[' + records.join(',') + ']';
}
QByteArray withCreatedAt(const QByteArray& date) {
  return arrayOf({changed(R"("createdAt":"2024-02-01T10:00:00Z")", "\"createdAt\":\"" + date + '"')});
}

void expectSameHistory(const std::optional<DecodedBucketHistory>& actual,
                       const std::optional<DecodedBucketHistory>& expected) {
  ASSERT_EQ(actual.has_value(), expected.has_value());
  if (!expected) return;
  EXPECT_EQ(actual->records, expected->records);
  EXPECT_EQ(actual->encoded, expected->encoded);
  EXPECT_EQ(actual->leftSomethingOut, expected->leftSomethingOut);
  for (qsizetype n = 0; n < qMin(actual->records.size(), expected->records.size()); ++n) {
    EXPECT_EQ(actual->records.at(n).createdAt.timeSpec(), expected->records.at(n).createdAt.timeSpec());
    EXPECT_EQ(actual->records.at(n).completedAt.timeSpec(), expected->records.at(n).completedAt.timeSpec());
  }
}

// A file as a save writes it is read straight from its bytes; whatever that reading takes, it must take
// exactly as the JSON parser's reading does: the same records, written back as the same text, the same
// records left out. Anything in another form is left to the parser.
TEST(BucketHistoryDecoding, TheCompactReadingAgreesWithTheJsonReading) {
  struct Row {
    const char* name;
    QByteArray file;
    bool compact;  // read without the parser
  };
  const Row table[] = {
      {"no records", "[]", true},
      {"records as written", arrayOf({kWritten, kOther, kWritten}), true},
      {"a lower-case identifier, written back in upper case",
       arrayOf({changed("6F1C3B0E-2D4A-4C55-9E0F", "6f1c3b0e-2d4a-4c55-9e0f")}), true},
      {"an offset, written back in UTC", withCreatedAt("2024-02-01T12:00:00+02:00"), true},
      {"a link kept as the service gave it",
       arrayOf({changed("https://share.example/s/a#k=Zm9v", "https://share.example/%41b?x=%7e#k#2")}), true},
      {"the largest count read directly",
       arrayOf({changed(R"("itemCount":3)", R"("itemCount":999999999999999)")}), true},
      {"a negative count", arrayOf({changed(R"("itemCount":3)", R"("itemCount":-42)")}), true},
      {"a count of zero", arrayOf({changed(R"("itemCount":3)", R"("itemCount":0)")}), true},
      {"an identifier that is none",
       arrayOf({kOther, changed("6F1C3B0E-2D4A-4C55-9E0F-111111111111", "not-a-uuid")}), true},
      {"an identifier in braces",
       arrayOf({changed("6F1C3B0E-2D4A-4C55-9E0F-111111111111", "{6F1C3B0E-2D4A-4C55-9E0F-11111111111}")}),
       true},
      {"a date with a fraction", withCreatedAt("2024-02-01T10:00:00.250Z"), true},
      {"a date without a zone", withCreatedAt("2024-02-01T10:00:00"), true},
      {"a date whose UTC form leaves the years", withCreatedAt("9999-12-31T23:00:00-02:00"), true},
      {"an empty link", arrayOf({changed("https://share.example/s/a#k=Zm9v", "")}), true},
      {"a link with a space",
       arrayOf({changed("https://share.example/s/a#k=Zm9v", "https://share.example/a b")}), true},
      {"a link with a broken escape",
       arrayOf({changed("https://share.example/s/a#k=Zm9v", "https://share.example/%zz")}), true},

      {"white space", "[ " + kWritten + " ]", false},
      {"a line end after the array", arrayOf({kWritten}) + '\n', false},
      {"keys in another order",
       arrayOf({changed(R"("itemCount":3,)", "").replace("{", R"({"itemCount":3,)")}), false},
      {"a key more", arrayOf({changed(R"("isClosed":false)", R"("isClosed":false,"extra":[1])")}), false},
      {"an escaped slash",
       arrayOf({changed("https://share.example/s/a", R"(https:\/\/share.example\/s\/a)")}), false},
      {"an escaped letter outside ASCII",
       arrayOf({changed("https://share.example/s/a", R"(https://share.example/s/\u00e9t\u00e9)")}), false},
      {"a letter outside ASCII",
       arrayOf({changed("https://share.example/s/a", "https://share.example/s/\xc3\xa9t\xc3\xa9")}), false},
      {"a null link", arrayOf({changed(R"("https://share.example/s/a#k=Zm9v")", "null")}), false},
      {"a count of 16 digits", arrayOf({changed(R"("itemCount":3)", R"("itemCount":1000000000000000)")}),
       false},
      {"a count beyond 64 bits",
       arrayOf({changed(R"("itemCount":3)", R"("itemCount":99999999999999999999)")}), false},
      {"minus zero", arrayOf({changed(R"("itemCount":3)", R"("itemCount":-0)")}), false},
      {"a count with a fraction", arrayOf({changed(R"("itemCount":3)", R"("itemCount":3.5)")}), false},
      {"a whole count with a fraction", arrayOf({changed(R"("itemCount":3)", R"("itemCount":3.0)")}), false},
      {"a count with an exponent", arrayOf({changed(R"("itemCount":3)", R"("itemCount":3e2)")}), false},
      {"a count with a leading zero", arrayOf({changed(R"("itemCount":3)", R"("itemCount":03)")}), false},
      {"a date as a number", arrayOf({changed(R"("2024-02-01T10:00:00Z")", "760000000")}), false},
      {"an element that is no record", arrayOf({kWritten, R"("not a record")"}), false},
      {"an array cut short", '[' + kWritten, false},
      {"something after the array", arrayOf({kWritten}) + "x", false},
      {"a comma too many", arrayOf({kWritten}).replace("]", ",]"), false},
      {"an object, not an array", R"({"records":[]})", false},
      {"not JSON at all", "not json at all", false},
      {"a byte-order mark", "\xef\xbb\xbf" + arrayOf({kWritten}), false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    const std::optional<DecodedBucketHistory> json = decodeBucketHistoryAsJson(row.file);
    const std::optional<DecodedBucketHistory> compact = decodeCompactBucketHistory(row.file);
    ASSERT_EQ(compact.has_value(), row.compact);
    if (row.compact) expectSameHistory(compact, json);
    expectSameHistory(decodeBucketHistory(row.file), json);
  }
}

TEST(BucketHistoryDecoding, WhatAFileHoldsIsWhatLoads) {
  const auto history =
      decodeBucketHistory(arrayOf({kWritten, changed(R"("itemCount":3)", R"("itemCount":1.5)"), kOther}));
  ASSERT_TRUE(history);
  EXPECT_TRUE(history->leftSomethingOut);
  const QList<BucketRecord> expected{
      {QUuid::fromString(QLatin1String("6F1C3B0E-2D4A-4C55-9E0F-111111111111")),
       QDateTime(QDate(2024, 2, 1), QTime(10, 0), QTimeZone::utc()),
       QDateTime(QDate(2024, 2, 1), QTime(10, 5), QTimeZone::utc()), 3,
       QUrl(QStringLiteral("https://share.example/s/a#k=Zm9v")), false},
      {QUuid::fromString(QLatin1String("6F1C3B0E-2D4A-4C55-9E0F-222222222222")),
       QDateTime(QDate(2024, 2, 2), QTime(10, 0), QTimeZone::utc()),
       QDateTime(QDate(2024, 2, 2), QTime(10, 5), QTimeZone::utc()), 1, std::nullopt, true},
  };
  EXPECT_EQ(history->records, expected);
  EXPECT_EQ(history->encoded, (QByteArrayList{kWritten, kOther}));
}

// A link outside ASCII goes back as it was read, each UTF-16 unit outside printable ASCII escaped, so the
// file stays ASCII and even a link a parser would normalise keeps its letters.
TEST(BucketHistoryDecoding, LinksOutsideAsciiAreWrittenBackEscaped) {
  struct Row {
    const char* name;
    QByteArray stored;   // the link as the file holds it
    QByteArray written;  // the link as a save writes it
  };
  const Row table[] = {
      {"escaped letters", R"(https://share.example/s/\u00e9t\u00E9)",
       R"(https://share.example/s/\u00e9t\u00e9)"},
      {"letters in UTF-8", "https://share.example/s/\\u00e9t\xc3\xa9",
       R"(https://share.example/s/\u00e9t\u00e9)"},
      {"a character beyond 16 bits", "https://share.example/s/\xf0\x9f\x98\x80",
       R"(https://share.example/s/\ud83d\ude00)"},
      {"a character in the last block", "https://share.example/s/\xef\xbf\xbd",
       R"(https://share.example/s/\ufffd)"},
      {"escaped ASCII", R"(https:\/\/share.example\/s\/\u0061)", "https://share.example/s/a"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    const auto history =
        decodeBucketHistory(arrayOf({changed("https://share.example/s/a#k=Zm9v", row.stored)}));
    ASSERT_TRUE(history);
    ASSERT_EQ(history->records.size(), 1);
    EXPECT_EQ(history->encoded.at(0), changed("https://share.example/s/a#k=Zm9v", row.written));
    // And the text written reads back as the same record.
    const auto again = decodeBucketHistory(arrayOf({history->encoded.at(0)}));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->records, history->records);
    EXPECT_EQ(again->encoded, history->encoded);
  }
}

// Dates are read by hand in the two shapes the file may hold; every date that reads is the instant Qt's own
// ISO reading gives, kept as a UTC date, and every other shape is refused.
TEST(BucketHistoryDecoding, StoredDates) {
  struct Row {
    const char* text;
    QDateTime expected;  // invalid: the record does not load
  };
  const auto utc = [](int year, int month, int day, int hour, int minute, int second) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc());
  };
  const Row table[] = {
      {"2026-01-31T12:00:00Z", utc(2026, 1, 31, 12, 0, 0)},
      {"2024-02-29T23:59:59Z", utc(2024, 2, 29, 23, 59, 59)},
      {"0001-01-01T00:00:00Z", utc(1, 1, 1, 0, 0, 0)},
      {"9999-12-31T23:59:59Z", utc(9999, 12, 31, 23, 59, 59)},
      {"2024-02-02T10:00:00+02:00", utc(2024, 2, 2, 8, 0, 0)},
      {"2024-02-02T01:30:00-02:30", utc(2024, 2, 2, 4, 0, 0)},
      {"2024-01-01T00:30:00+01:00", utc(2023, 12, 31, 23, 30, 0)},
      {"2024-02-02T10:00:00+00:00", utc(2024, 2, 2, 10, 0, 0)},
      {"2024-02-02T10:00:00-00:00", utc(2024, 2, 2, 10, 0, 0)},
      {"2024-02-02T10:00:00+23:59", utc(2024, 2, 1, 10, 1, 0)},
      {"2023-02-29T00:00:00Z", {}},
      {"2024-13-01T10:00:00Z", {}},
      {"2024-00-10T10:00:00Z", {}},
      {"0000-01-01T00:00:00Z", {}},
      {"2024-02-01T24:00:00Z", {}},
      {"2024-02-01T10:60:00Z", {}},
      {"2024-02-01T10:00:60Z", {}},
      {"2024-02-01T10:00:00.250Z", {}},
      {"2024-02-01T10:00:00.250+01:00", {}},
      {"2024-02-01T10:00:00", {}},
      {"2024-02-01T10:00Z", {}},
      {"2024-02-01", {}},
      {"2024-02-01t10:00:00z", {}},
      {"2024-02-01 10:00:00Z", {}},
      {"20240201T100000Z", {}},
      {"+2024-02-01T10:00:00Z", {}},
      {"2024-02-01T10:00:00+0200", {}},
      {"2024-02-01T10:00:00+24:00", {}},
      {"2024-02-01T10:00:00+02:60", {}},
      {"2024-02-01T10:00:00 02:00", {}},
      {"2024-02-01T1a:00:00Z", {}},
      {"2024-02-01T10:00:00UTC", {}},
      {"0001-01-01T00:30:00+01:00", {}},
      {"\xef\xbc\x92\x30\x32\x34-02-01T10:00:00Z", {}},  // a full-width digit
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.text);
    const auto history = decodeBucketHistory(withCreatedAt(row.text));
    ASSERT_TRUE(history);
    if (!row.expected.isValid()) {
      EXPECT_TRUE(history->records.isEmpty());
      EXPECT_TRUE(history->leftSomethingOut);
      continue;
    }
    ASSERT_EQ(history->records.size(), 1);
    const QDateTime read = history->records.at(0).createdAt;
    EXPECT_EQ(read, row.expected);
    EXPECT_EQ(read, QDateTime::fromString(QLatin1String(row.text), Qt::ISODate));
    EXPECT_EQ(read.timeSpec(), row.expected.timeSpec());
    EXPECT_EQ(read.timeZone(), QTimeZone::utc());
  }
}

}  // namespace
}  // namespace pm
