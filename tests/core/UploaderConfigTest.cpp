#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <iterator>

#include <gtest/gtest.h>

#include "UploaderConfigPrinting.h"
#include "core/AccountState.h"
#include "core/ICloudAvailability.h"
#include "core/S3Credentials.h"
#include "core/UploaderConfig.h"
#include "platform/Clock.h"
#include "platform/SharedDefaults.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using Kind = UploaderConfig::Kind;

const QString kConfigsKey = QStringLiteral("uploaderConfigs");

UploaderConfig connection(Kind kind, QString endpoint = {}, QString bucketName = {}, QString account = {}) {
  UploaderConfig config(kind);
  config.endpoint = std::move(endpoint);
  config.bucketName = std::move(bucketName);
  config.account = std::move(account);
  return config;
}

TEST(UploaderConfig, AnElementWithOnlyItsKindLoadsWithDefaultsAndEncodesEveryKey) {
  MemorySharedDefaults defaults;
  defaults.set(kConfigsKey, QByteArray(R"([{"kind":"ftp"}])"));

  const QList<UploaderConfig> loaded = UploaderConfig::loadAll(defaults);
  ASSERT_EQ(loaded.size(), 1);
  const UploaderConfig& config = loaded.first();
  EXPECT_EQ(config.kind, Kind::ftp);
  EXPECT_FALSE(config.id.isNull());
  EXPECT_TRUE(config.name.isEmpty() && config.endpoint.isEmpty() && config.bucketName.isEmpty() &&
              config.keyPrefix.isEmpty() && config.region.isEmpty() && config.symbol.isEmpty() &&
              config.account.isEmpty());
  EXPECT_FALSE(config.parcelmoorDownloads);
  EXPECT_EQ(config.port, 0);
  EXPECT_EQ(config.ftpSecurity, FTPSecurity::explicitTLS);
  EXPECT_EQ(secondsSinceReferenceDate(config.updatedAt), -63'114'076'800.0);
  EXPECT_EQ(config.updatedAt, UploaderConfig::distantPast());

  const auto data = UploaderConfig::encodeList(loaded);
  ASSERT_TRUE(data);
  const QJsonObject object = QJsonDocument::fromJson(*data).array().first().toObject();
  EXPECT_EQ(object.keys(),
            (QStringList{"account", "bucketName", "endpoint", "ftpSecurity", "id", "keyPrefix", "kind",
                         "name", "parcelmoorDownloads", "port", "region", "symbol", "updatedAt"}));
  EXPECT_EQ(object.value(QStringLiteral("id")).toString(), uuidText(config.id));
  EXPECT_EQ(object.value(QStringLiteral("kind")).toString(), QStringLiteral("ftp"));
  EXPECT_EQ(object.value(QStringLiteral("ftpSecurity")).toString(), QStringLiteral("explicitTLS"));
  EXPECT_EQ(object.value(QStringLiteral("name")), QJsonValue(QString()));
  EXPECT_EQ(object.value(QStringLiteral("parcelmoorDownloads")), QJsonValue(false));
  EXPECT_EQ(object.value(QStringLiteral("port")), QJsonValue(0));
  EXPECT_EQ(object.value(QStringLiteral("updatedAt")).toDouble(), -63'114'076'800.0);
}

TEST(UploaderConfig, ABadElementIsDroppedAndItsNeighboursLoadInOrder) {
  const struct {
    const char* element;
    bool kept;
  } table[] = {
      {R"({"name":"no kind"})", false},
      {R"({"kind":"sftp"})", false},
      {R"({"kind":"FTP"})", false},
      {R"({"kind":null})", false},
      {R"({"kind":3})", false},
      {R"({"kind":"ftp","port":"21"})", false},
      {R"({"kind":"ftp","port":21.5})", false},
      {R"({"kind":"ftp","port":21.0})", true},
      {R"({"kind":"ftp","ftpSecurity":"tls"})", false},
      {R"({"kind":"ftp","ftpSecurity":"implicitTLS"})", true},
      {R"({"kind":"ftp","id":"not-a-uuid"})", false},
      {R"({"kind":"ftp","id":"{6f1c1d9e-0c2a-4b8e-9f3d-2a7b5c4e8d10}"})", false},
      {R"({"kind":"ftp","id":"6f1c1d9e-0c2a-4b8e-9f3d-2a7b5c4e8d10"})", true},
      {R"({"kind":"ftp","updatedAt":"2024-01-01"})", false},
      {R"({"kind":"ftp","updatedAt":1e300})", false},
      {R"({"kind":"ftp","parcelmoorDownloads":1})", false},
      {R"({"kind":"ftp","name":7})", false},
      {R"({"kind":"ftp","name":null,"port":null})", true},
      {R"({"kind":"dropbox","unknownKey":[1,2]})", true},
      {R"("ftp")", false},
      {R"(null)", false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.element);
    MemorySharedDefaults defaults;
    const QByteArray stored = QByteArray(R"([{"kind":"r2","name":"first"},)") + row.element +
                              QByteArray(R"(,{"kind":"icloud","name":"last"}])");
    defaults.set(kConfigsKey, stored);

    const QList<UploaderConfig> loaded = UploaderConfig::loadAll(defaults);
    ASSERT_EQ(loaded.size(), row.kept ? 3 : 2);
    EXPECT_EQ(loaded.first().name, QStringLiteral("first"));
    EXPECT_EQ(loaded.last().name, QStringLiteral("last"));
  }
}

TEST(UploaderConfig, KeptFieldsOfLenientElementsReadAsStored) {
  MemorySharedDefaults defaults;
  defaults.set(kConfigsKey,
               QByteArray(R"([{"kind":"ftp","port":21.0,"id":"6f1c1d9e-0c2a-4b8e-9f3d-2a7b5c4e8d10"}])"));
  const QList<UploaderConfig> loaded = UploaderConfig::loadAll(defaults);
  ASSERT_EQ(loaded.size(), 1);
  EXPECT_EQ(loaded.first().port, 21);
  EXPECT_EQ(uuidText(loaded.first().id), QStringLiteral("6F1C1D9E-0C2A-4B8E-9F3D-2A7B5C4E8D10"));
}

TEST(UploaderConfig, AnythingButAStoredJsonArrayReadsAsEmpty) {
  const struct {
    const char* label;
    QVariant stored;
  } table[] = {
      {"absent", QVariant()},
      {"an object", QByteArray(R"({"kind":"ftp"})")},
      {"not JSON", QByteArray("[{\"kind\":")},
      {"empty data", QByteArray()},
      {"text instead of data", QStringLiteral(R"([{"kind":"ftp"}])")},
      {"a number", qint64(7)},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.label);
    MemorySharedDefaults defaults;
    if (row.stored.isValid()) defaults.set(kConfigsKey, row.stored);
    EXPECT_TRUE(UploaderConfig::loadAll(defaults).isEmpty());
  }
}

TEST(UploaderConfig, EveryFieldSurvivesTheStoredForm) {
  UploaderConfig config(Kind::r2);
  config.name = QStringLiteral("Photos ☁︎");
  config.endpoint = QStringLiteral("https://acc.r2.cloudflarestorage.com");
  config.bucketName = QStringLiteral("photos");
  config.keyPrefix = QStringLiteral("shared/");
  config.region = QStringLiteral("auto");
  config.parcelmoorDownloads = true;
  config.symbol = QStringLiteral("photo");
  config.port = 9'007'199'254'740'993;  // beyond what a double holds exactly
  config.account = QStringLiteral("ada@example.com");
  config.ftpSecurity = FTPSecurity::implicitTLS;
  config.updatedAt = dateFromReferenceSeconds(730'000'000.25);

  const auto data = UploaderConfig::encodeList({config, connection(Kind::parcelmoor)});
  ASSERT_TRUE(data);
  const QList<UploaderConfig> decoded = UploaderConfig::decodeList(*data);
  ASSERT_EQ(decoded.size(), 2);
  EXPECT_EQ(decoded.first(), config);
  EXPECT_EQ(decoded.last().kind, Kind::parcelmoor);

  const QJsonObject object = QJsonDocument::fromJson(*data).array().first().toObject();
  EXPECT_EQ(object.value(QStringLiteral("updatedAt")).toDouble(), 730'000'000.25);
  EXPECT_EQ(object.value(QStringLiteral("kind")).toString(), QStringLiteral("r2"));
  EXPECT_EQ(object.value(QStringLiteral("id")).toString(), uuidText(config.id));
  EXPECT_EQ(uuidText(config.id), uuidText(config.id).toUpper());
}

TEST(UploaderConfig, AListWithAnUnencodableDateDoesNotEncode) {
  UploaderConfig config(Kind::ftp);
  config.updatedAt = QDateTime();
  EXPECT_FALSE(UploaderConfig::encodeList({connection(Kind::parcelmoor), config}));
}

TEST(UploaderConfig, RawValuesAndDefaultTitlesInOrder) {
  const struct {
    Kind kind;
    const char* raw;
    const char* title;
  } table[] = {
      {Kind::parcelmoor, "parcelmoor", "Parcelmoor"},
      {Kind::customS3, "customS3", "AWS S3"},
      {Kind::r2, "r2", "Cloudflare R2"},
      {Kind::ftp, "ftp", "FTP"},
      {Kind::icloud, "icloud", "Synced Folder"},
      {Kind::googleDrive, "googleDrive", "Google Drive"},
      {Kind::oneDrive, "oneDrive", "OneDrive"},
      {Kind::dropbox, "dropbox", "Dropbox"},
  };
  ASSERT_EQ(std::size(table), UploaderConfig::allKinds.size());
  for (std::size_t i = 0; i < std::size(table); ++i) {
    const auto& row = table[i];
    SCOPED_TRACE(row.raw);
    EXPECT_EQ(UploaderConfig::allKinds[i], row.kind);
    EXPECT_EQ(rawValue(row.kind), QString::fromLatin1(row.raw));
    EXPECT_EQ(kindFromRawValue(QString::fromLatin1(row.raw)), row.kind);
    EXPECT_EQ(connection(row.kind).displayName(), QString::fromLatin1(row.title));
  }
  EXPECT_EQ(kindFromRawValue(QStringLiteral("S3")), std::nullopt);

  const FTPSecurity securities[] = {FTPSecurity::plain, FTPSecurity::explicitTLS, FTPSecurity::implicitTLS};
  const char* raws[] = {"plain", "explicitTLS", "implicitTLS"};
  for (std::size_t i = 0; i < std::size(securities); ++i) {
    EXPECT_EQ(kAllFTPSecurities[i], securities[i]);
    EXPECT_EQ(rawValue(securities[i]), QString::fromLatin1(raws[i]));
    EXPECT_EQ(ftpSecurityFromRawValue(QString::fromLatin1(raws[i])), securities[i]);
  }
  EXPECT_EQ(ftpSecurityFromRawValue(QStringLiteral("ExplicitTLS")), std::nullopt);
}

TEST(UploaderConfig, DisplayNamePrefersAnyName) {
  UploaderConfig config(Kind::r2);
  EXPECT_EQ(config.displayName(), QStringLiteral("Cloudflare R2"));
  config.name = QStringLiteral(" ");
  EXPECT_EQ(config.displayName(), QStringLiteral(" "));
  config.name = QStringLiteral("Backups");
  EXPECT_EQ(config.displayName(), QStringLiteral("Backups"));
}

TEST(UploaderConfig, EqualityCoversEveryField) {
  const UploaderConfig config = connection(Kind::customS3, QStringLiteral("https://s3"), QStringLiteral("b"));
  UploaderConfig copy = config;
  EXPECT_EQ(copy, config);
  copy.updatedAt = config.updatedAt.addMSecs(1);
  EXPECT_NE(copy, config);
  copy = config;
  copy.ftpSecurity = FTPSecurity::plain;
  EXPECT_NE(copy, config);
  EXPECT_NE(UploaderConfig(Kind::ftp), UploaderConfig(Kind::ftp)) << "each new connection has its own id";
}

TEST(UploaderConfig, ReadinessOfConnectionsJudgedByTheirFields) {
  const struct {
    const char* label;
    UploaderConfig config;
    bool ready;
  } table[] = {
      {"S3 with endpoint and bucket",
       connection(Kind::customS3, QStringLiteral("https://s3"), QStringLiteral("b")), true},
      {"S3 without bucket", connection(Kind::customS3, QStringLiteral("https://s3")), false},
      {"S3 without endpoint", connection(Kind::customS3, {}, QStringLiteral("b")), false},
      {"R2 without bucket", connection(Kind::r2, QStringLiteral("https://r2")), false},
      {"R2 complete", connection(Kind::r2, QStringLiteral("https://r2"), QStringLiteral("b")), true},
      {"FTP with a server", connection(Kind::ftp, QStringLiteral("ftp.example.com")), true},
      {"FTP whose server is a space", connection(Kind::ftp, QStringLiteral(" ")), true},
      {"FTP without server", connection(Kind::ftp), false},
      {"Google Drive connected", connection(Kind::googleDrive, {}, {}, QStringLiteral("ada@example.com")),
       true},
      {"Google Drive not connected", connection(Kind::googleDrive), false},
      {"OneDrive connected", connection(Kind::oneDrive, {}, {}, QStringLiteral("ada")), true},
      {"OneDrive not connected", connection(Kind::oneDrive, QStringLiteral("x"), QStringLiteral("y")), false},
      {"Dropbox connected", connection(Kind::dropbox, {}, {}, QStringLiteral("ada")), true},
      {"Dropbox not connected", connection(Kind::dropbox), false},
  };
  const MemorySharedDefaults defaults;
  for (const auto& row : table) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(row.config.isConfigured(defaults), row.ready);
  }
}

TEST(UploaderConfig, TheOwnServiceIsReadyOnlyWhenSignedInWithASubscription) {
  const struct {
    const char* label;
    std::optional<AccountState> state;
    bool ready;
  } table[] = {
      {"nothing stored", std::nullopt, false},
      {"signed in and subscribed", AccountState::signedIn(QStringLiteral("a@b.c"), true), true},
      {"signed in without subscription", AccountState::signedIn(QStringLiteral("a@b.c"), false), false},
      {"signed out", AccountState::signedOut(), false},
      {"waiting", AccountState::waiting(), false},
      {"failed", AccountState::failed(AccountState::Failure::network), false},
  };
  const UploaderConfig ownService(Kind::parcelmoor);
  for (const auto& row : table) {
    SCOPED_TRACE(row.label);
    MemorySharedDefaults defaults;
    if (row.state) defaults.set(QStringLiteral("accountState"), row.state->toJson());
    EXPECT_EQ(ownService.isConfigured(defaults), row.ready);
  }
}

TEST(UploaderConfig, ICloudDriveIsReadyOnlyAfterACheckFoundNoProblem) {
  const struct {
    const char* label;
    QVariant stored;
    std::optional<QString> problem;
  } table[] = {
      {"never checked", QVariant(), QStringLiteral("The synced folder has not been checked yet.")},
      {"checked and usable", QString(), std::nullopt},
      {"checked and off", QStringLiteral("iCloud Drive is turned off."),
       QStringLiteral("iCloud Drive is turned off.")},
      {"not a text", true, QStringLiteral("The synced folder has not been checked yet.")},
  };
  const UploaderConfig icloud(Kind::icloud);
  for (const auto& row : table) {
    SCOPED_TRACE(row.label);
    MemorySharedDefaults defaults;
    if (row.stored.isValid()) defaults.set(QStringLiteral("icloudState"), row.stored);
    EXPECT_EQ(iCloudLastAvailabilityProblem(defaults), row.problem);
    EXPECT_EQ(icloud.isConfigured(defaults), !row.problem.has_value());
  }
}

}  // namespace
}  // namespace pm
