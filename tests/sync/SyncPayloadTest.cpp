#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <functional>

#include "SyncPayloadPrinting.h"
#include "sync/PayloadDates.h"
#include "sync/SyncPayload.h"

namespace pm {
namespace {

using Kind = UploaderConfig::Kind;

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
}

TEST(PayloadDates, RoundTripWholeSecondsFromTheDistantPastToTheYear9999) {
  const struct {
    QDateTime date;
    const char* text;
    QDateTime readBack;
  } table[] = {
      {UploaderConfig::distantPast(), "0001-01-01T00:00:00Z", UploaderConfig::distantPast()},
      {utc(2024, 3, 1, 10, 0, 0, 700), "2024-03-01T10:00:00Z", utc(2024, 3, 1, 10, 0, 0)},
      {utc(1969, 12, 31, 23, 59, 59, 500), "1969-12-31T23:59:59Z", utc(1969, 12, 31, 23, 59, 59)},
      {utc(9999, 12, 31, 23, 59, 59), "9999-12-31T23:59:59Z", utc(9999, 12, 31, 23, 59, 59)},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(payloadDateText(row.date), QString::fromLatin1(row.text));
    const auto read = payloadDateFromText(QString::fromLatin1(row.text));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, row.readBack);
    EXPECT_EQ(read->toMSecsSinceEpoch(), row.readBack.toMSecsSinceEpoch());
  }
  constexpr qint64 kDistantPastFrom2001 = -63'114'076'800;
  constexpr qint64 k2001FromUnixEpoch = 978'307'200;
  EXPECT_EQ(payloadDateFromText(QStringLiteral("0001-01-01T00:00:00Z"))->toMSecsSinceEpoch(),
            (kDistantPastFrom2001 + k2001FromUnixEpoch) * 1000);
}

TEST(PayloadDates, EdgesOfWhatCanBeWritten) {
  EXPECT_EQ(payloadDateText(QDateTime()), std::nullopt);
  EXPECT_EQ(payloadDateText(UploaderConfig::distantPast().addDays(-400)),
            QStringLiteral("0001-01-01T00:00:00Z"));
  EXPECT_EQ(payloadDateText(utc(9999, 12, 31, 23, 59, 59).addDays(40)),
            QStringLiteral("9999-12-31T23:59:59Z"));
  EXPECT_EQ(wholeSecond(QDateTime::fromMSecsSinceEpoch(-1500, QTimeZone::utc())).toMSecsSinceEpoch(), -2000);
}

TEST(PayloadDates, ReadsOnlyInternetDateTimeText) {
  const struct {
    const char* text;
    std::optional<QDateTime> expected;
  } table[] = {
      {"2024-03-01T10:00:00Z", utc(2024, 3, 1, 10, 0, 0)},
      {"2024-03-01T12:00:00+02:00", utc(2024, 3, 1, 10, 0, 0)},
      {"2024-03-01T10:00:00", std::nullopt},
      {"2024-03-01T10:00:00.5Z", std::nullopt},
      {"2024-03-01", std::nullopt},
      {"2024-13-01T10:00:00Z", std::nullopt},
      {"", std::nullopt},
      {"yesterday", std::nullopt},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(payloadDateFromText(QString::fromLatin1(row.text)), row.expected);
  }
}

SyncEntry fullEntry() {
  UploaderConfig config(Kind::customS3);
  config.id = QUuid(QStringLiteral("{0b7c6c3e-55f1-4a43-9d1e-2f6a0f1e9b10}"));
  config.name = QStringLiteral("Team / Drop");
  config.endpoint = QStringLiteral("https://s3.example.com/");
  config.bucketName = QStringLiteral("drop");
  config.updatedAt = utc(2024, 3, 1, 10, 0, 0);
  const OAuthCredentials tokens{QStringLiteral("r"), QStringLiteral("a@b.c"), QStringLiteral("t"),
                                UploaderConfig::distantPast()};
  return SyncEntry{config, S3Credentials{QStringLiteral("AK"), QStringLiteral("s/k")},
                   FTPCredentials{QStringLiteral("u"), QStringLiteral("p")}, tokens, tokens};
}

TEST(SyncPayload, WritesSortedKeysUnescapedSlashesAndIsoDates) {
  SyncPayload payload;
  SyncEntry entry = fullEntry();
  entry.ftp.reset();
  entry.google.reset();
  entry.microsoft.reset();
  payload.uploaders = {entry};
  payload.deleted.insert(QStringLiteral("5F0E4C1A-2B3D-4E5F-8A9B-0C1D2E3F4A5B"),
                         utc(2024, 2, 1, 8, 30, 0, 250));
  payload.preferences.insert(QStringLiteral("panelEdge"),
                             SyncPref{QStringLiteral("top"), utc(2024, 1, 1, 0, 0, 0)});

  EXPECT_EQ(
      payload.toJson(),
      QByteArray(
          R"({"deleted":{"5F0E4C1A-2B3D-4E5F-8A9B-0C1D2E3F4A5B":"2024-02-01T08:30:00Z"},)"
          R"("preferences":{"panelEdge":{"updatedAt":"2024-01-01T00:00:00Z","value":"top"}},)"
          R"("uploaders":[{"config":{"account":"","bucketName":"drop","endpoint":"https://s3.example.com/",)"
          R"("ftpSecurity":"explicitTLS","id":"0B7C6C3E-55F1-4A43-9D1E-2F6A0F1E9B10","keyPrefix":"",)"
          R"("kind":"customS3","name":"Team / Drop","parcelmoorDownloads":false,"port":0,"region":"",)"
          R"("symbol":"","updatedAt":"2024-03-01T10:00:00Z"},)"
          R"("credentials":{"accessKeyID":"AK","secretAccessKey":"s/k"}}]})"));
  EXPECT_EQ(SyncPayload().toJson(), QByteArray(R"({"deleted":{},"preferences":{},"uploaders":[]})"));
}

// The credential dates sit beside the entries, so a version that does not know them reads the same entries
// and hands the unknown key back; a date only stands while the entry holds the credentials it was given
// for.
TEST(SyncPayload, CredentialDatesTravelBesideTheEntriesForTheCredentialsTheyDate) {
  SyncEntry entry = fullEntry();
  entry.ftp.reset();
  entry.google.reset();
  entry.microsoft.reset();
  SyncPayload undated;
  undated.uploaders = {entry};
  SyncPayload dated = undated;
  dated.uploaders[0].credentialsUpdatedAt = utc(2024, 3, 1, 11, 0, 0);
  const auto object = [](const QByteArray& json) { return QJsonDocument::fromJson(json).object(); };
  const QJsonObject written = object(dated.toJson());
  EXPECT_EQ(written.value(QStringLiteral("uploaders")),
            object(undated.toJson()).value(QStringLiteral("uploaders")));
  const QString id = QStringLiteral("0B7C6C3E-55F1-4A43-9D1E-2F6A0F1E9B10");
  EXPECT_EQ(written.value(QStringLiteral("credentialChanges")),
            (QJsonObject{
                {id, QJsonObject{{QStringLiteral("digest"), QString::fromLatin1(entry.credentialsDigest())},
                                 {QStringLiteral("updatedAt"), QStringLiteral("2024-03-01T11:00:00Z")}}}}));
  EXPECT_EQ(SyncPayload::fromJson(dated.toJson()), dated);

  const auto read = SyncPayload::fromJson(undated.toJson());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->uploaders[0].credentialsUpdatedAt, std::nullopt) << "written without dates";
  EXPECT_EQ(read->uploaders[0].credentialsDate(), entry.config.updatedAt);

  const auto changed = [&](const std::function<void(QJsonObject&)>& change) {
    QJsonObject copy = written;
    change(copy);
    return QJsonDocument(copy).toJson(QJsonDocument::Compact);
  };
  const struct {
    const char* what;
    QByteArray json;
  } table[] = {
      {"credentials replaced by a version that carried the dates along", changed([](QJsonObject& copy) {
         QJsonArray uploaders = copy.value(QStringLiteral("uploaders")).toArray();
         QJsonObject first = uploaders.first().toObject();
         first.insert(QStringLiteral("credentials"),
                      QJsonObject{{QStringLiteral("accessKeyID"), QStringLiteral("AK")},
                                  {QStringLiteral("secretAccessKey"), QStringLiteral("renewed")}});
         uploaders.replace(0, first);
         copy.insert(QStringLiteral("uploaders"), uploaders);
       })},
      {"a date that is no date", changed([&](QJsonObject& copy) {
         copy.insert(QStringLiteral("credentialChanges"),
                     QJsonObject{{id, QJsonObject{{QStringLiteral("digest"),
                                                   QString::fromLatin1(entry.credentialsDigest())},
                                                  {QStringLiteral("updatedAt"), 12}}}});
       })},
      {"dates that are no object",
       changed([](QJsonObject& copy) { copy.insert(QStringLiteral("credentialChanges"), QJsonArray{1}); })},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.what);
    const auto decoded = SyncPayload::fromJson(row.json);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->uploaders.size(), 1);
    EXPECT_EQ(decoded->uploaders[0].credentialsUpdatedAt, std::nullopt);
    EXPECT_TRUE(decoded->unread.isEmpty());
    EXPECT_FALSE(decoded->toJson().contains("credentialChanges")) << "nothing left that dates nothing";
  }
}

TEST(SyncPayload, EveryPartRoundTrips) {
  SyncPayload payload;
  payload.uploaders = {fullEntry(), SyncEntry{UploaderConfig(Kind::dropbox), {}, {}, {}, {}}};
  payload.deleted.insert(QStringLiteral("5F0E4C1A-2B3D-4E5F-8A9B-0C1D2E3F4A5B"), utc(2024, 2, 1, 8, 30, 0));
  payload.preferences.insert(QStringLiteral("uploadCompleteSound"),
                             SyncPref{QStringLiteral("false"), UploaderConfig::distantPast()});
  payload.preferences.insert(QStringLiteral("panelEdge"),
                             SyncPref{QStringLiteral("right"), utc(9999, 12, 31, 23, 59, 59)});

  QString error;
  const auto decoded = SyncPayload::fromJson(payload.toJson(), &error);
  ASSERT_TRUE(decoded) << error.toStdString();
  EXPECT_EQ(*decoded, payload);
}

// One good element of each part, then the bad element of the row: the bad one is carried unread, exactly
// as it came, the rest reads; only a payload that is not one at all fails.
TEST(SyncPayload, DecodingCarriesTheElementThatDoesNotReadUnchanged) {
  const auto withGood = [](const char* uploader, const char* deleted, const char* preference) {
    return QByteArray(R"({"uploaders":[{"config":{"kind":"ftp"}})") + uploader +
           R"(],"deleted":{"A":"2024-01-01T00:00:00Z")" + deleted +
           R"(},"preferences":{"panelEdge":{"value":"top","updatedAt":"2024-01-01T00:00:00Z"})" + preference +
           "}}";
  };
  const struct {
    const char* what;
    QByteArray json;
    int entries;
    int deleted;
    int preferences;
    QByteArray unread;  // the one element carried unread, as compact JSON
  } table[] = {
      {"all good, unknown keys ignored", withGood(R"(,{"config":{"kind":"r2"},"ftp":null,"x":1})", "", ""), 2,
       1, 1, ""},
      {"entry without config",
       withGood(R"(,{"credentials":{"accessKeyID":"a","secretAccessKey":"b"}})", "", ""), 1, 1, 1,
       R"({"credentials":{"accessKeyID":"a","secretAccessKey":"b"}})"},
      {"kind of a newer version", withGood(R"(,{"config":{"kind":"warp"}})", "", ""), 1, 1, 1,
       R"({"config":{"kind":"warp"}})"},
      {"field of another type", withGood(R"(,{"config":{"kind":"ftp","port":"21"}})", "", ""), 1, 1, 1,
       R"({"config":{"kind":"ftp","port":"21"}})"},
      {"date as a number", withGood(R"(,{"config":{"kind":"ftp","updatedAt":0}})", "", ""), 1, 1, 1,
       R"({"config":{"kind":"ftp","updatedAt":0}})"},
      {"date with fractional seconds",
       withGood(R"(,{"config":{"kind":"ftp","updatedAt":"2024-01-01T00:00:00.250Z"}})", "", ""), 1, 1, 1,
       R"({"config":{"kind":"ftp","updatedAt":"2024-01-01T00:00:00.250Z"}})"},
      {"half an FTP login", withGood(R"(,{"config":{"kind":"ftp"},"ftp":{"username":"u"}})", "", ""), 1, 1, 1,
       R"({"config":{"kind":"ftp"},"ftp":{"username":"u"}})"},
      {"token expiry as a number",
       withGood(R"(,{"config":{"kind":"googleDrive"},"google":{"refreshToken":"r","account":"a",)"
                R"("accessToken":"t","expiresAt":12}})",
                "", ""),
       1, 1, 1,
       R"({"config":{"kind":"googleDrive"},"google":{"accessToken":"t","account":"a","expiresAt":12,)"
       R"("refreshToken":"r"}})"},
      {"entry not an object", withGood(",7", "", ""), 1, 1, 1, "7"},
      {"deletion time not a date", withGood("", R"(,"B":"soon")", ""), 1, 1, 1, R"("soon")"},
      {"deletion time with fractional seconds", withGood("", R"(,"B":"2024-01-01T00:00:00.5Z")", ""), 1, 1, 1,
       R"("2024-01-01T00:00:00.5Z")"},
      {"preference without a time", withGood("", "", R"(,"uploadFailedSound":{"value":"true"})"), 1, 1, 1,
       R"({"value":"true"})"},
      {"preference value not text",
       withGood("", "", R"(,"uploadFailedSound":{"value":true,"updatedAt":"2024-01-01T00:00:00Z"})"), 1, 1, 1,
       R"({"updatedAt":"2024-01-01T00:00:00Z","value":true})"},
      {"empty object", "{}", 0, 0, 0, ""},
  };
  const auto compact = [](const QJsonValue& value) {
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).chopped(1).mid(1);
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.what);
    QString error;
    const auto decoded = SyncPayload::fromJson(row.json, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_EQ(decoded->uploaders.size(), row.entries);
    EXPECT_EQ(decoded->deleted.size(), row.deleted);
    EXPECT_EQ(decoded->preferences.size(), row.preferences);
    QList<QJsonValue> unread = decoded->unread.uploaders;
    unread += decoded->unread.deleted.values();
    unread += decoded->unread.preferences.values();
    ASSERT_EQ(unread.size(), QByteArray(row.unread).isEmpty() ? 0 : 1);
    if (!unread.isEmpty()) {
      EXPECT_EQ(compact(unread.first()), row.unread);
    }

    const auto again = SyncPayload::fromJson(decoded->toJson());
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *decoded) << "written back, the unread element reads as it did";
  }
  for (const char* notAPayload :
       {R"({"uploaders":{}})", R"({"deleted":[]})", R"({"preferences":"x"})", "[]", "not json", ""}) {
    SCOPED_TRACE(notAPayload);
    EXPECT_EQ(SyncPayload::fromJson(notAPayload), std::nullopt);
  }
}

TEST(SyncPayload, AnUnreadElementStandsInForTheReadableOneUnderItsKeyAndUnknownPartsStay) {
  const QByteArray json =
      R"({"deleted":{"B":"2024-01-01T00:00:00.5Z"},"folders":{"x":[1,2]},)"
      R"("preferences":{"panelEdge":{"updatedAt":"2024-01-01T00:00:00Z","value":{"edge":"top"}}},"uploaders":[]})";
  auto payload = SyncPayload::fromJson(json);
  ASSERT_TRUE(payload);
  EXPECT_EQ(payload->toJson(), json);

  payload->deleted.insert(QStringLiteral("B"), utc(2024, 5, 1, 0, 0, 0));
  payload->preferences.insert(QStringLiteral("panelEdge"),
                              SyncPref{QStringLiteral("left"), utc(2024, 5, 1, 0, 0, 0)});
  EXPECT_EQ(payload->toJson(), json) << "which of the two is newer is for a version that reads both";
}

}  // namespace
}  // namespace pm
