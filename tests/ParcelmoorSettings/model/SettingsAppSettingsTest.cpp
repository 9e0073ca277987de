#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "QStringPrinting.h"
#include "WriteCountingDefaults.h"
#include "connectors/FTPCredentials.h"
#include "core/Identifiers.h"
#include "core/S3Credentials.h"
#include "model/AppSettings.h"
#include "platform/Keychain.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;
using namespace std::chrono_literals;

// How often `signal` of `sender` fired since this call.
template <typename Signal>
std::shared_ptr<int> countEmissions(const AppSettings* sender, Signal signal) {
  auto count = std::make_shared<int>(0);
  QObject::connect(sender, signal, [count] { ++*count; });
  return count;
}

const QString kConfigsKey = QStringLiteral("uploaderConfigs");
const QString kSettingsChanged = QStringLiteral("com.wrenfold.Parcelmoor.settingsChanged");

UploaderConfig connection(Kind kind, const QString& name) {
  UploaderConfig config(kind);
  config.name = name;
  config.endpoint = QStringLiteral("ftp.example.com");
  return config;
}

class SettingsAppSettings : public ::testing::Test {
 protected:
  void store(const QList<UploaderConfig>& configs) {
    defaults.set(kConfigsKey, UploaderConfig::encodeList(configs).value());
  }
  // The model as the program makes it at start, with what that start wrote and posted forgotten.
  std::unique_ptr<AppSettings> started() {
    auto settings = std::make_unique<AppSettings>(defaults, signals, keychain, clock);
    defaults.clearWritten();
    signals.clearPosted();
    return settings;
  }
  QList<UploaderConfig> stored() const { return UploaderConfig::loadAll(defaults); }

  test::WriteCountingDefaults defaults;
  LocalSignals signals;
  MemoryKeychain keychain;
  test::ManualClock clock;
};

TEST_F(SettingsAppSettings, AFreshSuiteGetsOneOwnServiceConnectionWithOneWriteAndOneSignal) {
  const AppSettings settings(defaults, signals, keychain, clock);

  ASSERT_EQ(settings.uploaders().size(), 1);
  const UploaderConfig& own = settings.uploaders().first();
  EXPECT_EQ(own.kind, Kind::parcelmoor);
  EXPECT_TRUE(own.name.isEmpty());
  EXPECT_EQ(own.ftpSecurity, FTPSecurity::explicitTLS);
  EXPECT_EQ(own.port, 0);
  EXPECT_EQ(own.updatedAt, clock.now());
  EXPECT_EQ(defaults.written(), QStringList{kConfigsKey});
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
  EXPECT_EQ(stored(), settings.uploaders());
}

TEST_F(SettingsAppSettings, StoredConnectionsWithTheOwnServiceAreKeptAndStillWrittenBack) {
  const QList<UploaderConfig> configs{connection(Kind::ftp, QStringLiteral("a")),
                                      connection(Kind::parcelmoor, QStringLiteral("mine")),
                                      connection(Kind::dropbox, QStringLiteral("b"))};
  store(configs);
  defaults.clearWritten();

  const AppSettings settings(defaults, signals, keychain, clock);

  EXPECT_EQ(settings.uploaders(), configs);
  EXPECT_EQ(defaults.written(), QStringList{kConfigsKey});
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
}

TEST_F(SettingsAppSettings, RemoveRefusesTheOwnServiceAndTheLastConnectionWithoutWritingOrPosting) {
  auto alone = started();
  const UploaderConfig own = alone->uploaders().first();
  const UploaderConfig stranger = connection(Kind::ftp, QStringLiteral("not stored"));
  alone->remove(stranger);  // fewer than two stored
  EXPECT_TRUE(defaults.written().isEmpty());

  alone->upsert(connection(Kind::ftp, QStringLiteral("second")));
  defaults.clearWritten();
  signals.clearPosted();
  const auto changed = countEmissions(alone.get(), &AppSettings::uploadersChanged);

  alone->remove(own);

  EXPECT_EQ(alone->uploaders().size(), 2);
  EXPECT_TRUE(defaults.written().isEmpty());
  EXPECT_TRUE(signals.posted().isEmpty());
  EXPECT_EQ(*changed, 0);
  EXPECT_TRUE(alone->readDeletedUploaders().isEmpty());
}

TEST_F(SettingsAppSettings, RemovingAnFTPConnectionLeavesATombstoneAndDeletesOnlyItsS3KeyPair) {
  const UploaderConfig ftp = connection(Kind::ftp, QStringLiteral("files"));
  const UploaderConfig other = connection(Kind::customS3, QStringLiteral("bucket"));
  ASSERT_TRUE(S3Credentials::save(keychain, S3Credentials{QStringLiteral("K"), QStringLiteral("S")}, ftp.id));
  ASSERT_TRUE(
      S3Credentials::save(keychain, S3Credentials{QStringLiteral("K2"), QStringLiteral("S2")}, other.id));
  ASSERT_TRUE(
      FTPCredentials::save(keychain, FTPCredentials{QStringLiteral("u"), QStringLiteral("p")}, ftp.id));
  store({connection(Kind::parcelmoor, {}), ftp, other});
  auto settings = started();
  const auto changed = countEmissions(settings.get(), &AppSettings::uploadersChanged);
  clock.advance(10s);

  settings->remove(ftp);

  EXPECT_EQ(stored().size(), 2);
  EXPECT_EQ(stored().last(), other);
  EXPECT_EQ(*changed, 1);
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
  // The list goes out (with its signal) before the tombstone is written.
  EXPECT_EQ(defaults.written(), (QStringList{kConfigsKey, QStringLiteral("deletedUploaders")}));
  EXPECT_EQ(settings->readDeletedUploaders(), (AppSettings::DatedKeys{{uuidText(ftp.id), clock.now()}}));
  EXPECT_FALSE(S3Credentials::load(keychain, ftp.id));
  EXPECT_TRUE(S3Credentials::load(keychain, other.id));
  EXPECT_TRUE(FTPCredentials::load(keychain, ftp.id));
}

TEST_F(SettingsAppSettings, TombstonesAgeOutAfterExactlyThreeHundredSixtyFiveDays) {
  auto settings = started();
  const QDateTime now = clock.now();
  const AppSettings::DatedKeys tombstones{{QStringLiteral("A"), now.addSecs(-31'536'000)},
                                          {QStringLiteral("B"), now.addSecs(-31'535'999)}};

  settings->writeDeletedUploaders(tombstones);

  EXPECT_EQ(settings->readDeletedUploaders(),
            (AppSettings::DatedKeys{{QStringLiteral("B"), now.addSecs(-31'535'999)}}));
  EXPECT_TRUE(signals.posted().isEmpty());
}

TEST_F(SettingsAppSettings, UpsertStampsTheTimeOfTheUpsertAndReplacesByIdentifier) {
  auto settings = started();
  UploaderConfig added = connection(Kind::ftp, QStringLiteral("first"));
  added.updatedAt = QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
  clock.advance(1h);

  settings->upsert(added);

  ASSERT_EQ(settings->uploaders().size(), 2);
  EXPECT_EQ(settings->uploaders().last().updatedAt, clock.now());
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});

  added.name = QStringLiteral("renamed");
  clock.advance(1h);
  settings->upsert(added);

  ASSERT_EQ(stored().size(), 2);
  EXPECT_EQ(stored().last().name, QStringLiteral("renamed"));
  EXPECT_EQ(stored().last().updatedAt, clock.now());
}

TEST_F(SettingsAppSettings, OnePreferenceWriteStampsOnlyItsKeyAndPostsOnce) {
  auto settings = started();
  settings->setUploadCompleteSound(false);
  clock.advance(1min);
  defaults.clearWritten();
  signals.clearPosted();
  const auto changed = countEmissions(settings.get(), &AppSettings::uploadWarningSoundChanged);

  settings->setUploadWarningSound(false);

  EXPECT_EQ(defaults.boolValue(QStringLiteral("uploadWarningSound")), false);
  EXPECT_EQ(defaults.written(),
            (QStringList{QStringLiteral("uploadWarningSound"), QStringLiteral("preferenceChanges")}));
  const QVariantMap stamps = defaults.object(QStringLiteral("preferenceChanges")).toMap();
  EXPECT_EQ(stamps.keys(),
            (QStringList{QStringLiteral("uploadCompleteSound"), QStringLiteral("uploadWarningSound")}));
  EXPECT_EQ(stamps.value(QStringLiteral("uploadWarningSound")).toDateTime(), clock.now());
  EXPECT_EQ(stamps.value(QStringLiteral("uploadCompleteSound")).toDateTime(), clock.now().addSecs(-60));
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
  EXPECT_EQ(*changed, 1);
}

TEST_F(SettingsAppSettings, OddStoredValuesReadAsTheirDefaults) {
  auto settings = started();
  struct Case {
    const char* key;
    QVariant stored;
    std::function<bool(const AppSettings&)> readsAsDefault;
  };
  const Case cases[] = {
      {"notificationAccess", QStringLiteral("Granted"),
       [](const AppSettings& s) { return s.notificationAccess() == NotificationAccess::unknown; }},
      {"notificationAccess", QVariant(true),
       [](const AppSettings& s) { return s.notificationAccess() == NotificationAccess::unknown; }},
      {"panelEdge", QString(), [](const AppSettings& s) { return s.panelEdge() == PanelEdge::left; }},
      {"panelEdge", QStringLiteral("Top"),
       [](const AppSettings& s) { return s.panelEdge() == PanelEdge::left; }},
      {"uploadFailedSound", QStringLiteral("false"),
       [](const AppSettings& s) { return s.uploadFailedSound(); }},
      {"uploadFailedSound", QVariant(qint64(0)), [](const AppSettings& s) { return s.uploadFailedSound(); }},
      {"automaticUpdates", QVariant(), [](const AppSettings& s) { return s.automaticUpdates(); }},
  };
  for (const Case& c : cases) {
    defaults.set(QString::fromLatin1(c.key), c.stored);
    EXPECT_TRUE(c.readsAsDefault(*settings)) << c.key << " = " << c.stored.toString().toStdString();
  }
}

TEST_F(SettingsAppSettings, StoredValuesReadAsTheyAre) {
  auto settings = started();
  defaults.set(QStringLiteral("notificationAccess"), QStringLiteral("silent"));
  defaults.set(QStringLiteral("panelEdge"), QStringLiteral("right"));
  defaults.set(QStringLiteral("automaticUpdates"), false);

  EXPECT_EQ(settings->notificationAccess(), NotificationAccess::silent);
  EXPECT_EQ(settings->panelEdge(), PanelEdge::right);
  EXPECT_FALSE(settings->automaticUpdates());

  settings->setPanelEdge(PanelEdge::top);
  EXPECT_EQ(defaults.stringValue(QStringLiteral("panelEdge")), QStringLiteral("top"));
}

TEST_F(SettingsAppSettings, ReloadingPreferencesTellsTheViewsWithoutWriting) {
  auto settings = started();
  const auto edge = countEmissions(settings.get(), &AppSettings::panelEdgeChanged);
  const auto complete = countEmissions(settings.get(), &AppSettings::uploadCompleteSoundChanged);
  const auto warning = countEmissions(settings.get(), &AppSettings::uploadWarningSoundChanged);
  const auto failed = countEmissions(settings.get(), &AppSettings::uploadFailedSoundChanged);
  const auto updates = countEmissions(settings.get(), &AppSettings::automaticUpdatesChanged);

  settings->reloadPreferences();

  EXPECT_EQ(*edge + *complete + *warning + *failed, 4);
  EXPECT_EQ(*updates, 0);
  EXPECT_TRUE(defaults.written().isEmpty());
  EXPECT_TRUE(signals.posted().isEmpty());
}

TEST_F(SettingsAppSettings, AssigningAnEqualListSavesAndPostsWithoutTellingTheViews) {
  auto settings = started();
  const auto changed = countEmissions(settings.get(), &AppSettings::uploadersChanged);

  settings->setUploaders(settings->uploaders());

  EXPECT_EQ(*changed, 0);
  EXPECT_EQ(defaults.written(), QStringList{kConfigsKey});
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
}

}  // namespace
}  // namespace pm::settings
