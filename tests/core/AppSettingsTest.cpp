#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <iterator>

#include <gtest/gtest.h>

#include "UploaderConfigPrinting.h"
#include "core/AccountState.h"
#include "core/AppSettings.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using Kind = UploaderConfig::Kind;
using namespace std::chrono_literals;

const QString kConfigsKey = QStringLiteral("uploaderConfigs");
const QString kSettingsChanged = QStringLiteral("com.wrenfold.Parcelmoor.settingsChanged");
constexpr std::chrono::hours kOneDay{24};

UploaderConfig s3(const QString& name) {
  UploaderConfig config(Kind::customS3);
  config.name = name;
  config.endpoint = QStringLiteral("https://s3.example.com");
  config.bucketName = QStringLiteral("drop");
  return config;
}

class AppSettingsTest : public ::testing::Test {
 protected:
  void store(const QList<UploaderConfig>& configs) {
    defaults.set(kConfigsKey, UploaderConfig::encodeList(configs).value());
  }
  std::unique_ptr<AppSettings> makeSettings() {
    auto settings = std::make_unique<AppSettings>(defaults, signals, clock);
    signals.clearPosted();
    return settings;
  }
  QList<UploaderConfig> stored() const { return UploaderConfig::loadAll(defaults); }

  MemorySharedDefaults defaults;
  LocalSignals signals;
  test::ManualClock clock;
};

TEST_F(AppSettingsTest, FirstLaunchCreatesAndSavesTheOwnServiceConnection) {
  const AppSettings settings(defaults, signals, clock);

  ASSERT_EQ(settings.uploaders().size(), 1);
  const UploaderConfig& own = settings.uploaders().first();
  EXPECT_EQ(own.kind, Kind::parcelmoor);
  EXPECT_EQ(own.updatedAt, clock.now());
  EXPECT_TRUE(own.name.isEmpty());
  EXPECT_FALSE(own.id.isNull());
  EXPECT_EQ(stored(), settings.uploaders());
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
}

TEST_F(AppSettingsTest, TheOwnServiceGoesBeforeStoredConnectionsThatLackIt) {
  const QList<UploaderConfig> buckets{s3(QStringLiteral("one")), s3(QStringLiteral("two"))};
  store(buckets);

  const AppSettings settings(defaults, signals, clock);

  ASSERT_EQ(settings.uploaders().size(), 3);
  EXPECT_EQ(settings.uploaders()[0].kind, Kind::parcelmoor);
  EXPECT_EQ(settings.uploaders().mid(1), buckets);
  EXPECT_EQ(stored(), settings.uploaders());
}

TEST_F(AppSettingsTest, AStoredOwnServiceKeepsItsPlaceAndTheListIsRewrittenInFull) {
  defaults.set(kConfigsKey, QByteArray(R"([{"kind":"ftp","name":"a"},{"kind":"warp"},{"kind":"dropbox"},)"
                                       R"({"kind":"parcelmoor","name":"mine"}])"));

  const AppSettings settings(defaults, signals, clock);

  ASSERT_EQ(settings.uploaders().size(), 3);
  EXPECT_EQ(settings.uploaders()[2].name, QStringLiteral("mine"));
  const QJsonArray rewritten = QJsonDocument::fromJson(defaults.dataValue(kConfigsKey).value()).array();
  ASSERT_EQ(rewritten.size(), 4);
  EXPECT_EQ(rewritten[1], QJsonValue(QJsonObject{{QStringLiteral("kind"), QStringLiteral("warp")}}))
      << "an element this version cannot decode is kept in place";
  for (const int decoded : {0, 2, 3}) EXPECT_EQ(rewritten[decoded].toObject().size(), 13);
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
}

TEST_F(AppSettingsTest, UndecodableElementsSurviveEveryChangeNextToTheConnectionTheyFollowed) {
  // A kind from a newer version, and an element whose port this version reads differently.
  const QJsonObject newer{{QStringLiteral("kind"), QStringLiteral("box")}, {QStringLiteral("token"), 7}};
  const QJsonObject oddPort{{QStringLiteral("kind"), QStringLiteral("ftp")}, {QStringLiteral("port"), QStringLiteral("21")}};
  UploaderConfig a = s3(QStringLiteral("a"));
  UploaderConfig b = s3(QStringLiteral("b"));
  const UploaderConfig own(Kind::parcelmoor);
  QJsonArray storedArray{*own.toJson(), *a.toJson(), newer, *b.toJson(), oddPort};
  defaults.set(kConfigsKey, QJsonDocument(storedArray).toJson(QJsonDocument::Compact));
  auto settings = makeSettings();
  auto storedElements = [&] { return QJsonDocument::fromJson(defaults.dataValue(kConfigsKey).value()).array(); };
  EXPECT_EQ(storedElements(), storedArray) << "loading and the start-up save keep the stored list as it was";

  struct Step {
    const char* name;
    QList<UploaderConfig> list;
    QJsonArray expected;
  };
  a.name = QStringLiteral("renamed");
  const UploaderConfig c = s3(QStringLiteral("c"));
  const Step steps[] = {
      {"a changed, c added", {own, a, b, c}, {*own.toJson(), *a.toJson(), newer, *b.toJson(), oddPort, *c.toJson()}},
      {"reordered", {b, c, own, a}, {*b.toJson(), oddPort, *c.toJson(), *own.toJson(), *a.toJson(), newer}},
      {"a removed: its follower goes after the connection before a", {b, c, own}, {*b.toJson(), oddPort, *c.toJson(), *own.toJson(), newer}},
      {"all but c removed", {c}, {oddPort, *c.toJson(), newer}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    settings->setUploaders(step.list);
    EXPECT_EQ(settings->uploaders(), step.list);
    EXPECT_EQ(storedElements(), step.expected);
  }
}

TEST_F(AppSettingsTest, AStoredListThatCannotBeReadNowIsNeverWrittenOver) {
  const QList<UploaderConfig> buckets{s3(QStringLiteral("one")), s3(QStringLiteral("two"))};
  store(buckets);
  const QByteArray before = defaults.dataValue(kConfigsKey).value();

  defaults.setReadsFail(true);
  AppSettings settings(defaults, signals, clock);
  int notifications = 0;
  QObject::connect(&settings, &AppSettings::uploadersChanged, &settings, [&] { ++notifications; });
  ASSERT_EQ(settings.uploaders().size(), 1) << "the agent still has its own-service connection";
  const UploaderConfig standIn = settings.uploaders().first();
  EXPECT_EQ(standIn.kind, Kind::parcelmoor);
  UploaderConfig ftp(Kind::ftp);
  settings.setUploaders({standIn, ftp});
  EXPECT_TRUE(signals.posted().isEmpty()) << "nothing was written, so there is nothing to announce";
  defaults.setReadsFail(false);
  EXPECT_EQ(defaults.dataValue(kConfigsKey), before);

  // Readable again: the next save takes in what is stored and adds what was made meanwhile.
  notifications = 0;
  settings.save();
  const QList<UploaderConfig> expected{standIn, buckets[0], buckets[1], ftp};
  EXPECT_EQ(settings.uploaders(), expected);
  EXPECT_EQ(stored(), expected);
  EXPECT_EQ(notifications, 1);
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
}

TEST_F(AppSettingsTest, AReloadedListAssignedOnceReadableKeepsTheStandInFirst) {
  const UploaderConfig one = s3(QStringLiteral("one"));
  store({one});
  defaults.setReadsFail(true);
  AppSettings settings(defaults, signals, clock);
  const UploaderConfig standIn = settings.uploaders().first();
  defaults.setReadsFail(false);

  // What the agent does on "settingsChanged": assign the list it loaded.
  settings.setUploaders(UploaderConfig::loadAll(defaults));
  EXPECT_EQ(settings.uploaders(), (QList<UploaderConfig>{standIn, one}));
  EXPECT_EQ(stored(), settings.uploaders());
}

TEST_F(AppSettingsTest, AStandInOwnServiceGivesWayToAStoredOne) {
  UploaderConfig mine(Kind::parcelmoor);
  mine.name = QStringLiteral("mine");
  store({s3(QStringLiteral("one")), mine});
  defaults.setReadsFail(true);
  AppSettings settings(defaults, signals, clock);
  defaults.setReadsFail(false);

  settings.save();
  ASSERT_EQ(settings.uploaders().size(), 2);
  EXPECT_EQ(settings.uploaders()[1], mine);
  EXPECT_EQ(stored(), settings.uploaders());
}

TEST_F(AppSettingsTest, EveryAssignmentSavesAndSignalsButOnlyAChangeNotifiesObservers) {
  auto settings = makeSettings();
  int notifications = 0;
  QObject::connect(settings.get(), &AppSettings::uploadersChanged, settings.get(), [&] { ++notifications; });

  settings->setUploaders(settings->uploaders());
  EXPECT_EQ(notifications, 0);
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});

  QList<UploaderConfig> more = settings->uploaders();
  more.append(s3(QStringLiteral("new")));
  settings->setUploaders(more);
  EXPECT_EQ(notifications, 1);
  EXPECT_EQ(signals.posted(), (QStringList{kSettingsChanged, kSettingsChanged}));
  EXPECT_EQ(stored(), more);
}

TEST_F(AppSettingsTest, AListThatCannotBeEncodedLeavesTheStoredListAlone) {
  auto settings = makeSettings();
  const QList<UploaderConfig> before = stored();

  QList<UploaderConfig> broken = settings->uploaders();
  broken.append(UploaderConfig(Kind::ftp));
  broken.last().updatedAt = QDateTime();
  settings->setUploaders(broken);

  EXPECT_EQ(stored(), before);
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
}

TEST_F(AppSettingsTest, PanelEdgeReadsAnyUnknownValueAsLeft) {
  const struct {
    QVariant stored;
    PanelEdge edge;
  } table[] = {
      {QVariant(), PanelEdge::left},
      {QStringLiteral("left"), PanelEdge::left},
      {QStringLiteral("top"), PanelEdge::top},
      {QStringLiteral("right"), PanelEdge::right},
      {QStringLiteral("bottom"), PanelEdge::left},
      {QStringLiteral("Right"), PanelEdge::left},
      {true, PanelEdge::left},
  };
  const auto settings = makeSettings();
  for (const auto& row : table) {
    SCOPED_TRACE(row.stored.toString().toStdString());
    defaults.set(QStringLiteral("panelEdge"), row.stored);
    EXPECT_EQ(settings->panelEdge(), row.edge);
  }
}

TEST_F(AppSettingsTest, SettingThePanelEdgeStoresStampsSignalsAndNotifies) {
  auto settings = makeSettings();
  int notifications = 0;
  QObject::connect(settings.get(), &AppSettings::panelEdgeChanged, settings.get(), [&] { ++notifications; });
  clock.advance(90s);

  settings->setPanelEdge(PanelEdge::right);

  EXPECT_EQ(defaults.stringValue(QStringLiteral("panelEdge")), QStringLiteral("right"));
  EXPECT_EQ(settings->readPreferenceChanges(),
            (AppSettings::DatedKeys{{QStringLiteral("panelEdge"), clock.now()}}));
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
  EXPECT_EQ(notifications, 1);
  EXPECT_EQ(settings->panelEdge(), PanelEdge::right);
}

TEST_F(AppSettingsTest, FlagsReadTrueUnlessAFalseBooleanIsStored) {
  const auto settings = makeSettings();
  EXPECT_TRUE(settings->automaticUpdates());
  EXPECT_TRUE(settings->uploadCompleteSound());
  EXPECT_TRUE(settings->uploadWarningSound());
  EXPECT_TRUE(settings->uploadFailedSound());

  defaults.set(QStringLiteral("uploadWarningSound"), QStringLiteral("false"));
  EXPECT_TRUE(settings->uploadWarningSound()) << "only a stored Boolean counts";
  defaults.set(QStringLiteral("uploadCompleteSound"), false);
  EXPECT_FALSE(settings->uploadCompleteSound());

  settings->setAutomaticUpdates(false);
  EXPECT_FALSE(settings->automaticUpdates());
  EXPECT_EQ(defaults.boolValue(QStringLiteral("automaticUpdates")), false);
  EXPECT_TRUE(settings->readPreferenceChanges().contains(QStringLiteral("automaticUpdates")));
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
}

TEST_F(AppSettingsTest, SyncedPreferencesAreStoredWithTheirOwnStampAndNoSignal) {
  const QDateTime changedAt = clock.now().addDays(-3);
  const struct {
    const char* key;
    const char* value;
    QVariant expected;
  } table[] = {
      {"uploadFailedSound", "True", false},        {"uploadFailedSound", "true", true},
      {"uploadWarningSound", "yes", false},        {"uploadCompleteSound", "", false},
      {"panelEdge", "top", QStringLiteral("top")}, {"panelEdge", "bottom", QStringLiteral("bottom")},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(std::string(row.key) + "=" + row.value);
    MemorySharedDefaults suite;
    AppSettings settings(suite, signals, clock);
    signals.clearPosted();
    const QString key = QString::fromLatin1(row.key);

    settings.applySyncedPreference(key, QString::fromLatin1(row.value), changedAt);

    EXPECT_EQ(suite.object(key), row.expected);
    EXPECT_EQ(settings.readPreferenceChanges(), (AppSettings::DatedKeys{{key, changedAt}}));
    EXPECT_TRUE(signals.posted().isEmpty());
  }
}

TEST_F(AppSettingsTest, AnUnsyncedPreferenceIsIgnoredEntirely) {
  auto settings = makeSettings();
  settings->applySyncedPreference(QStringLiteral("automaticUpdates"), QStringLiteral("false"), clock.now());
  settings->applySyncedPreference(QStringLiteral("uploaderConfigs"), QStringLiteral("[]"), clock.now());

  EXPECT_FALSE(defaults.contains(QStringLiteral("automaticUpdates")));
  EXPECT_FALSE(defaults.contains(QStringLiteral("preferenceChanges")));
  EXPECT_EQ(settings->uploaders(), stored());
  EXPECT_TRUE(signals.posted().isEmpty());
}

TEST_F(AppSettingsTest, TheSyncedPreferenceTable) {
  using PK = AppSettings::PreferenceKind;
  EXPECT_EQ(AppSettings::syncedPreferenceKeys(),
            (QMap<QString, PK>{{QStringLiteral("panelEdge"), PK::text},
                               {QStringLiteral("uploadCompleteSound"), PK::flag},
                               {QStringLiteral("uploadWarningSound"), PK::flag},
                               {QStringLiteral("uploadFailedSound"), PK::flag}}));
}

TEST_F(AppSettingsTest, ADictionaryHoldingANonDateReadsEmptyAndIsReplacedOnTheNextStamp) {
  auto settings = makeSettings();
  const QVariantMap mixed{{QStringLiteral("panelEdge"), clock.now()},
                          {QStringLiteral("uploadFailedSound"), 5}};
  defaults.set(QStringLiteral("preferenceChanges"), mixed);
  defaults.set(QStringLiteral("deletedUploaders"), mixed);
  EXPECT_TRUE(settings->readPreferenceChanges().isEmpty());
  EXPECT_TRUE(settings->readDeletedUploaders().isEmpty());

  defaults.set(QStringLiteral("preferenceChanges"), QStringLiteral("not a dictionary"));
  EXPECT_TRUE(settings->readPreferenceChanges().isEmpty());

  settings->setAutomaticUpdates(true);
  EXPECT_EQ(settings->readPreferenceChanges(),
            (AppSettings::DatedKeys{{QStringLiteral("automaticUpdates"), clock.now()}}));
}

TEST_F(AppSettingsTest, TombstonesAreKeptForAYear) {
  auto settings = makeSettings();
  const QDateTime now = clock.now();
  const AppSettings::DatedKeys tombstones{
      {QStringLiteral("A0000000-0000-0000-0000-000000000364"), now.addDays(-364)},
      {QStringLiteral("A0000000-0000-0000-0000-000000000365"), now.addDays(-365)},
      {QStringLiteral("A0000000-0000-0000-0000-000000000366"), now.addDays(-366)},
      {QStringLiteral("A0000000-0000-0000-0000-000000000000"), now.addSecs(-365 * 86'400 + 1)},
  };

  settings->writeDeletedUploaders(tombstones);

  EXPECT_EQ(settings->readDeletedUploaders(),
            (AppSettings::DatedKeys{
                {QStringLiteral("A0000000-0000-0000-0000-000000000364"), now.addDays(-364)},
                {QStringLiteral("A0000000-0000-0000-0000-000000000000"), now.addSecs(-365 * 86'400 + 1)}}));
  EXPECT_TRUE(signals.posted().isEmpty());

  clock.advance(kOneDay * 2);
  settings->writeDeletedUploaders(settings->readDeletedUploaders());
  EXPECT_TRUE(settings->readDeletedUploaders().isEmpty());
  EXPECT_EQ(defaults.object(QStringLiteral("deletedUploaders")), QVariant(QVariantMap()))
      << "written even when empty";
}

TEST_F(AppSettingsTest, TheTombstoneLifetimeCanBeShortened) {
  AppSettings settings(defaults, signals, clock, 10s);
  settings.writeDeletedUploaders(
      {{QStringLiteral("old"), clock.now().addSecs(-10)}, {QStringLiteral("new"), clock.now().addSecs(-9)}});
  EXPECT_EQ(settings.readDeletedUploaders().keys(), QStringList{QStringLiteral("new")});
}

TEST_F(AppSettingsTest, FirstReadyUploaderPrefersTheFirstConfiguredConnection) {
  defaults.set(QStringLiteral("accountState"),
               AccountState::signedIn(QStringLiteral("a@b.c"), false).toJson());
  UploaderConfig ftp(Kind::ftp);
  ftp.endpoint = QStringLiteral("ftp.example.com");
  UploaderConfig icloud(Kind::icloud);
  auto settings = makeSettings();
  const UploaderConfig own = settings->uploaders().first();

  settings->setUploaders({own, icloud, ftp});
  EXPECT_EQ(settings->firstReadyUploader(), ftp) << "unsubscribed, iCloud never checked";

  defaults.set(QStringLiteral("icloudState"), QString());
  EXPECT_EQ(settings->firstReadyUploader(), icloud);

  defaults.set(QStringLiteral("accountState"),
               AccountState::signedIn(QStringLiteral("a@b.c"), true).toJson());
  EXPECT_EQ(settings->firstReadyUploader(), own) << "the account state is read afresh";

  defaults.set(QStringLiteral("accountState"), AccountState::signedOut().toJson());
  defaults.set(QStringLiteral("icloudState"), QStringLiteral("Signed out of iCloud."));
  settings->setUploaders({own, icloud, UploaderConfig(Kind::dropbox)});
  EXPECT_EQ(settings->firstReadyUploader(), own) << "nothing ready: the first connection";

  settings->setUploaders({});
  EXPECT_EQ(settings->firstReadyUploader(), std::nullopt);
}

TEST(PanelEdge, RawValuesInOrder) {
  const char* raws[] = {"left", "top", "right"};
  for (std::size_t i = 0; i < std::size(raws); ++i) {
    EXPECT_EQ(rawValue(kAllPanelEdges[i]), QString::fromLatin1(raws[i]));
    EXPECT_EQ(panelEdgeFromStoredText(QString::fromLatin1(raws[i])), kAllPanelEdges[i]);
  }
  EXPECT_EQ(panelEdgeFromStoredText(std::nullopt), PanelEdge::left);
}

TEST(PanelEdge, FrameSizedForTheTilesThatFitHalfTheEdge) {
  const QRectF laptop(0, 0, 1440, 875);
  const QRectF offset(100, 50, 1440, 875);
  const QRectF shallow(0, 0, 1440, 100);
  const struct {
    const char* label;
    PanelEdge edge;
    QRectF screen;
    QRectF expected;
  } table[] = {
      // Along 875 points: six tiles, 441 points long, centred on the edge and 30 points past it.
      {"left", PanelEdge::left, laptop, QRectF(-30, 437.5 - 220.5, 384, 441)},
      {"left, moved screen", PanelEdge::left, offset, QRectF(70, 487.5 - 220.5, 384, 441)},
      {"right", PanelEdge::right, laptop, QRectF(1440 + 30 - 384, 437.5 - 220.5, 384, 441)},
      // Along 1440 points: ten tiles, 701 points long.
      {"top", PanelEdge::top, laptop, QRectF(720 - 350.5, 875 + 30 - 384, 701, 384)},
      {"top, moved screen", PanelEdge::top, offset, QRectF(820 - 350.5, 925 + 30 - 384, 701, 384)},
      // Never fewer than two tiles.
      {"left, 100 high", PanelEdge::left, shallow, QRectF(-30, 50 - 90.5, 384, 181)},
      {"right, 10 high", PanelEdge::right, QRectF(0, 0, 1440, 10), QRectF(1086, 5 - 90.5, 384, 181)},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.label);
    const QRectF frame = panelFrame(row.edge, row.screen);
    EXPECT_DOUBLE_EQ(frame.x(), row.expected.x());
    EXPECT_DOUBLE_EQ(frame.y(), row.expected.y());
    EXPECT_DOUBLE_EQ(frame.width(), row.expected.width());
    EXPECT_DOUBLE_EQ(frame.height(), row.expected.height());
  }
}

}  // namespace
}  // namespace pm
