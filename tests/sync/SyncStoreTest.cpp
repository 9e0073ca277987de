#include <QTimeZone>

#include <gtest/gtest.h>

#include "../core/UploaderConfigPrinting.h"
#include "SyncPayloadPrinting.h"
#include "SyncTestDoubles.h"
#include "core/AppSettings.h"
#include "core/Identifiers.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"
#include "sync/CredentialMarks.h"
#include "sync/SyncStore.h"

namespace pm {
namespace {

using Kind = UploaderConfig::Kind;

const QString kConfigsKey = QStringLiteral("uploaderConfigs");
const QString kSettingsChanged = QStringLiteral("com.wrenfold.Parcelmoor.settingsChanged");
const QString kS3 = QStringLiteral("com.wrenfold.Parcelmoor.s3");
const QString kDropbox = QStringLiteral("com.wrenfold.Parcelmoor.dropbox");
const QString kSyncService = QStringLiteral("com.wrenfold.Parcelmoor.sync");

QDateTime at(int h, int mi, int s, int ms = 0) {
  return QDateTime(QDate(2024, 2, 20), QTime(h, mi, s, ms), QTimeZone::utc());
}

UploaderConfig connection(Kind kind, const QString& name, QDateTime updatedAt = at(10, 0, 0)) {
  UploaderConfig config(kind);
  config.name = name;
  config.endpoint = QStringLiteral("https://s3.example.com");
  config.bucketName = QStringLiteral("drop");
  config.updatedAt = std::move(updatedAt);
  return config;
}

const S3Credentials kKeys{QStringLiteral("AKIA"), QStringLiteral("secret/key")};
const FTPCredentials kLogin{QStringLiteral("ada"), QStringLiteral("pw")};
const OAuthCredentials kTokens{QStringLiteral("refresh"), QStringLiteral("ada@example.com"),
                               QStringLiteral("access"), at(11, 0, 0, 900)};

class SyncStoreTest : public ::testing::Test {
 protected:
  SyncStoreTest() { signals.clearPosted(); }

  // Stores the list the way the settings program leaves it, then lets the agent's settings read it.
  void storeConnections(const QList<UploaderConfig>& configs) {
    defaults.inner.set(kConfigsKey, UploaderConfig::encodeList(configs).value());
    settings = std::make_unique<AppSettings>(defaults, signals, clock);
    store = std::make_unique<SyncStore>(defaults, signals, keychain, *settings, clock);
    forgetWrites();
  }
  void forgetWrites() {
    defaults.written.clear();
    keychain.written.clear();
    signals.clearPosted();
  }
  UploaderConfig own() const { return settings->uploaders().first(); }
  QList<UploaderConfig> stored() const { return UploaderConfig::loadAll(defaults); }

  RecordingDefaults defaults;
  LocalSignals signals;
  RecordingKeychain keychain;
  test::ManualClock clock{at(12, 0, 0)};
  std::unique_ptr<AppSettings> settings = std::make_unique<AppSettings>(defaults, signals, clock);
  std::unique_ptr<SyncStore> store =
      std::make_unique<SyncStore>(defaults, signals, keychain, *settings, clock);
};

TEST_F(SyncStoreTest, OnlyTheOwnServiceStoredGivesAnEmptyPayloadAndApplyingOneKeepsIt) {
  storeConnections({connection(Kind::parcelmoor, QStringLiteral("mine"))});
  const SyncStore::Payload payload = store->localPayload();
  EXPECT_TRUE(payload.uploaders.isEmpty());
  EXPECT_TRUE(payload.deleted.isEmpty());

  store->apply(SyncStore::Payload{});
  EXPECT_EQ(stored(), settings->uploaders());
  ASSERT_EQ(stored().size(), 1);
  EXPECT_EQ(stored().first().name, QStringLiteral("mine"));
  EXPECT_FALSE(defaults.written.contains(kConfigsKey));
  EXPECT_TRUE(signals.posted().isEmpty());
}

TEST_F(SyncStoreTest, CollectsConnectionsWithEveryStoredCredentialAtWholeSeconds) {
  const UploaderConfig bucket = connection(Kind::customS3, QStringLiteral("bucket"), at(10, 0, 0, 700));
  const UploaderConfig box = connection(Kind::dropbox, QStringLiteral("box"));
  storeConnections({connection(Kind::parcelmoor, {}), bucket, box});
  S3Credentials::save(keychain, kKeys, bucket.id);
  FTPCredentials::save(keychain, kLogin, bucket.id);  // looked up whatever the kind
  OAuthCredentials::save(keychain, kTokens, bucket.id, OAuthProvider::microsoft);
  OAuthCredentials::save(keychain, kTokens, box.id, OAuthProvider::dropbox);
  keychain.inner.store(kS3, uuidText(box.id), "not json");

  const SyncStore::Payload payload = store->localPayload();
  ASSERT_EQ(payload.uploaders.size(), 2);
  const SyncStore::Entry& first = payload.uploaders[0];
  EXPECT_EQ(first.config.id, bucket.id);
  EXPECT_EQ(first.config.updatedAt, at(10, 0, 0));
  EXPECT_EQ(first.credentials, kKeys);
  EXPECT_EQ(first.ftp, kLogin);
  EXPECT_EQ(first.google, std::nullopt);
  ASSERT_TRUE(first.microsoft);
  EXPECT_EQ(first.microsoft->expiresAt, at(11, 0, 0));
  const SyncStore::Entry& second = payload.uploaders[1];
  EXPECT_EQ(second.config.id, box.id);
  EXPECT_EQ(second.credentials, std::nullopt) << "an unreadable item counts as absent";
  EXPECT_EQ(second.google, std::nullopt);
  EXPECT_EQ(second.microsoft, std::nullopt);
}

TEST_F(SyncStoreTest, CollectsTombstonesAndTheSyncedPreferences) {
  settings->writeDeletedUploaders({{QStringLiteral("A"), at(9, 0, 0, 400)}});
  defaults.inner.set(QStringLiteral("uploadCompleteSound"), false);
  defaults.inner.set(QStringLiteral("uploadWarningSound"), true);
  defaults.inner.set(QStringLiteral("uploadFailedSound"), QStringLiteral("loud"));
  defaults.inner.set(QStringLiteral("panelEdge"), qint64(2));  // neither flag nor text
  defaults.inner.set(QStringLiteral("automaticUpdates"), false);
  defaults.inner.set(QStringLiteral("preferenceChanges"),
                     QVariantMap{{QStringLiteral("uploadCompleteSound"), at(8, 0, 0, 999)}});

  const SyncStore::Payload payload = store->localPayload();
  EXPECT_EQ(payload.deleted, (QMap<QString, QDateTime>{{QStringLiteral("A"), at(9, 0, 0)}}));
  const QMap<QString, SyncStore::Pref> expected{
      {QStringLiteral("uploadCompleteSound"), {QStringLiteral("false"), at(8, 0, 0)}},
      {QStringLiteral("uploadWarningSound"), {QStringLiteral("true"), UploaderConfig::distantPast()}},
      {QStringLiteral("uploadFailedSound"), {QStringLiteral("loud"), UploaderConfig::distantPast()}},
  };
  EXPECT_EQ(payload.preferences, expected);

  defaults.inner.set(QStringLiteral("preferenceChanges"),
                     QVariantMap{{QStringLiteral("uploadCompleteSound"), at(8, 0, 0)},
                                 {QStringLiteral("uploadWarningSound"), QStringLiteral("not a date")}});
  EXPECT_EQ(store->localPayload().preferences.value(QStringLiteral("uploadCompleteSound")).updatedAt,
            UploaderConfig::distantPast())
      << "a stamp map with a value that is no date counts as empty";
}

TEST_F(SyncStoreTest, CollectingFailsWhileTheSuiteCannotBeRead) {
  storeConnections({own(), connection(Kind::ftp, QStringLiteral("a"))});
  defaults.inner.setReadsFail(true);
  EXPECT_THROW(store->localPayload(), SyncStore::SettingsUnreadable);
  defaults.inner.setReadsFail(false);
  EXPECT_EQ(store->localPayload().uploaders.size(), 1);
}

TEST_F(SyncStoreTest, CollectingFailsWhileACredentialCannotBeRead) {
  storeConnections({own(), connection(Kind::ftp, QStringLiteral("a"))});
  for (const QString& service :
       {kS3, FTPCredentials::keychainService(), keychainService(OAuthProvider::google),
        keychainService(OAuthProvider::microsoft), kSyncService}) {
    SCOPED_TRACE(service.toStdString());
    keychain.unreadableService = service;
    EXPECT_THROW(store->localPayload(), SyncStore::CredentialsUnreadable);
  }
  keychain.unreadableService = kDropbox;
  EXPECT_EQ(store->localPayload().uploaders.size(), 1) << "Dropbox tokens are never collected";
}

TEST_F(SyncStoreTest, ACredentialChangedSinceTheLastCollectIsDatedWithoutItsConnection) {
  const UploaderConfig bucket = connection(Kind::customS3, QStringLiteral("bucket"), at(10, 0, 0));
  const UploaderConfig ahead = connection(Kind::customS3, QStringLiteral("ahead"), at(13, 0, 0));
  storeConnections({own(), bucket, ahead});
  S3Credentials::save(keychain, kKeys, bucket.id);
  const auto dates = [&](const SyncStore::Payload& payload) {
    QList<QDateTime> list;
    for (const SyncStore::Entry& entry : payload.uploaders) {
      list.append(entry.config.updatedAt);
      list.append(entry.credentialsDate());
    }
    return list;
  };

  EXPECT_EQ(dates(store->localPayload()),
            (QList<QDateTime>{at(10, 0, 0), at(10, 0, 0), at(13, 0, 0), at(13, 0, 0)}))
      << "seen for the first time: dated by their connection";
  const std::optional<QByteArray> marks =
      keychain.inner.load(kSyncService, QStringLiteral("credential-marks"));
  ASSERT_TRUE(marks);
  EXPECT_FALSE(marks->contains("secret")) << marks->toStdString();
  forgetWrites();
  EXPECT_EQ(dates(store->localPayload()),
            (QList<QDateTime>{at(10, 0, 0), at(10, 0, 0), at(13, 0, 0), at(13, 0, 0)}));
  EXPECT_TRUE(defaults.written.isEmpty());
  EXPECT_TRUE(keychain.written.isEmpty()) << "unchanged marks are not rewritten";

  clock.set(at(12, 0, 0, 500));
  S3Credentials::save(keychain, S3Credentials{QStringLiteral("AKIA"), QStringLiteral("renewed")}, bucket.id);
  FTPCredentials::save(keychain, kLogin, ahead.id);
  forgetWrites();
  const QList<QDateTime> dated{at(10, 0, 0), at(12, 0, 0), at(13, 0, 0), at(13, 0, 1)};
  EXPECT_EQ(dates(store->localPayload()), dated) << "a date ahead of this clock still moves on";
  EXPECT_EQ(stored(), (QList<UploaderConfig>{own(), bucket, ahead})) << "the connections keep their dates";
  EXPECT_FALSE(defaults.written.contains(kConfigsKey));
  EXPECT_TRUE(signals.posted().isEmpty()) << "a renewal is no settings change";
  clock.set(at(12, 30, 0));
  EXPECT_EQ(dates(store->localPayload()), dated) << "dated once";

  // Credentials a pull writes are no change of this computer's: they keep the date they came with.
  SyncStore::Payload pulled = store->localPayload();
  pulled.uploaders[0].credentials = S3Credentials{QStringLiteral("AKIA"), QStringLiteral("from elsewhere")};
  pulled.uploaders[0].credentialsUpdatedAt = at(12, 20, 0);
  pulled.uploaders[1].ftp.reset();
  pulled.uploaders[1].credentialsUpdatedAt = at(13, 0, 5);
  store->apply(pulled);
  clock.set(at(14, 0, 0));
  EXPECT_EQ(dates(store->localPayload()),
            (QList<QDateTime>{at(10, 0, 0), at(12, 20, 0), at(13, 0, 0), at(13, 0, 5)}));
}

// An earlier version kept only digests and moved the connection's own date on whenever the credentials
// changed: its marks date the credentials by their connection, and a change against one is dated now.
TEST_F(SyncStoreTest, MarksWithoutADateDateTheCredentialsByTheirConnection) {
  const UploaderConfig bucket = connection(Kind::customS3, QStringLiteral("bucket"), at(10, 0, 0));
  const UploaderConfig box = connection(Kind::ftp, QStringLiteral("box"), at(11, 0, 0));
  storeConnections({own(), bucket, box});
  S3Credentials::save(keychain, kKeys, bucket.id);
  const SyncStore::Entry unchanged{bucket, kKeys, {}, {}, {}};
  const SyncStore::Entry before{box, {}, {}, {}, {}};
  keychain.inner.store(kSyncService, QStringLiteral("credential-marks"),
                       QByteArray(R"({")") + uuidText(bucket.id).toLatin1() + R"(":")" +
                           unchanged.credentialsDigest() + R"(",")" + uuidText(box.id).toLatin1() + R"(":")" +
                           before.credentialsDigest() + R"("})");
  FTPCredentials::save(keychain, kLogin, box.id);

  const SyncStore::Payload payload = store->localPayload();
  ASSERT_EQ(payload.uploaders.size(), 2);
  EXPECT_EQ(payload.uploaders[0].credentialsDate(), at(10, 0, 0));
  EXPECT_EQ(payload.uploaders[1].credentialsDate(), at(12, 0, 0));
  EXPECT_EQ(CredentialMarks::load(keychain)->value(uuidText(bucket.id)).changedAt, at(10, 0, 0))
      << "the marks keep the dates from now on";
}

TEST_F(SyncStoreTest, CredentialsTheKeychainRefusedAreNotDatedAsIfTheyHadArrived) {
  const UploaderConfig bucket = connection(Kind::customS3, QStringLiteral("bucket"), at(10, 0, 0));
  storeConnections({own(), bucket});
  S3Credentials::save(keychain, kKeys, bucket.id);
  SyncStore::Payload pulled = store->localPayload();
  pulled.uploaders[0].credentials = S3Credentials{QStringLiteral("AKIA"), QStringLiteral("from elsewhere")};
  pulled.uploaders[0].credentialsUpdatedAt = at(11, 0, 0);

  keychain.refusedService = kS3;
  store->apply(pulled);
  keychain.refusedService.clear();
  const SyncStore::Payload local = store->localPayload();
  EXPECT_EQ(local.uploaders[0].credentials, kKeys);
  EXPECT_EQ(local.uploaders[0].credentialsDate(), at(10, 0, 0)) << "the next pull brings them again";

  store->apply(pulled);
  EXPECT_EQ(S3Credentials::load(keychain, bucket.id), pulled.uploaders[0].credentials);
  EXPECT_EQ(store->localPayload().uploaders[0].credentialsDate(), at(11, 0, 0));
}

TEST_F(SyncStoreTest, APreferenceIsAppliedOnlyWhenItsDateIsLater) {
  const QString key = QStringLiteral("panelEdge");
  settings->applySyncedPreference(key, QStringLiteral("left"), at(10, 0, 0));
  forgetWrites();

  SyncStore::Payload payload;
  payload.preferences.insert(key, {QStringLiteral("top"), at(10, 0, 0)});
  payload.preferences.insert(QStringLiteral("futureSetting"), {QStringLiteral("x"), at(11, 0, 0)});
  store->apply(payload);
  EXPECT_EQ(defaults.object(key), QVariant(QStringLiteral("left")));
  EXPECT_TRUE(defaults.written.isEmpty()) << defaults.written.join(u',').toStdString();
  EXPECT_TRUE(signals.posted().isEmpty());

  payload.preferences.insert(key, {QStringLiteral("right"), at(10, 0, 1)});
  payload.preferences.insert(QStringLiteral("uploadFailedSound"), {QStringLiteral("false"), at(9, 0, 0)});
  store->apply(payload);
  EXPECT_EQ(defaults.object(key), QVariant(QStringLiteral("right")));
  EXPECT_EQ(defaults.boolValue(QStringLiteral("uploadFailedSound")), false)
      << "no stamp here: the distant past";
  EXPECT_EQ(settings->readPreferenceChanges().value(key), at(10, 0, 1));
  EXPECT_FALSE(defaults.contains(QStringLiteral("futureSetting")));
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
}

TEST_F(SyncStoreTest, CredentialsAreWrittenOnlyWhereTheyDiffer) {
  const UploaderConfig bucket = connection(Kind::customS3, QStringLiteral("bucket"));
  const UploaderConfig drive = connection(Kind::googleDrive, QStringLiteral("drive"));
  const UploaderConfig box = connection(Kind::dropbox, QStringLiteral("box"));
  storeConnections({own(), bucket, drive, box});
  S3Credentials::save(keychain, kKeys, bucket.id);
  OAuthCredentials::save(keychain, kTokens, drive.id, OAuthProvider::google);
  OAuthCredentials::save(keychain, kTokens, box.id, OAuthProvider::dropbox);
  SyncStore::Payload payload = store->localPayload();
  forgetWrites();

  store->apply(payload);
  EXPECT_TRUE(keychain.written.isEmpty()) << "unchanged: " << keychain.written.join(u',').toStdString();

  payload.uploaders[0].credentials.reset();  // the entry lacks "credentials"
  payload.uploaders[1].google->accessToken = QStringLiteral("fresher");
  payload.uploaders[1].ftp = FTPCredentials{QStringLiteral("half"), QString()};  // incomplete: no item
  store->apply(payload);
  EXPECT_EQ(S3Credentials::load(keychain, bucket.id), std::nullopt);
  EXPECT_EQ(OAuthCredentials::load(keychain, drive.id, OAuthProvider::google)->accessToken,
            QStringLiteral("fresher"));
  EXPECT_EQ(FTPCredentials::load(keychain, drive.id), std::nullopt);
  EXPECT_EQ(OAuthCredentials::load(keychain, box.id, OAuthProvider::dropbox), kTokens)
      << "Dropbox is never synced";
  EXPECT_EQ(keychain.written,
            (QStringList{kS3 + QLatin1Char(' ') + uuidText(bucket.id),
                         QStringLiteral("com.wrenfold.Parcelmoor.google ") + uuidText(drive.id),
                         kSyncService + QStringLiteral(" credential-marks")}));
  EXPECT_FALSE(keychain.written.join(u',').contains(kDropbox));
}

TEST_F(SyncStoreTest, TheConnectionListIsWrittenOnlyWhenItDiffers) {
  const UploaderConfig a = connection(Kind::ftp, QStringLiteral("a"));
  const UploaderConfig localOnly = connection(Kind::r2, QStringLiteral("local only"));
  storeConnections({own(), a, localOnly});

  SyncStore::Payload payload;
  payload.uploaders = {SyncStore::Entry{a, {}, {}, {}, {}}, SyncStore::Entry{localOnly, {}, {}, {}, {}}};
  store->apply(payload);
  EXPECT_FALSE(defaults.written.contains(kConfigsKey));
  EXPECT_TRUE(signals.posted().isEmpty());

  UploaderConfig changed = a;
  changed.name = QStringLiteral("renamed");
  changed.updatedAt = at(10, 5, 0);
  UploaderConfig foreignOwn = connection(Kind::parcelmoor, QStringLiteral("theirs"));
  UploaderConfig twin = connection(Kind::customS3, QStringLiteral("twin"));
  twin.id = changed.id;
  payload.uploaders = {SyncStore::Entry{foreignOwn, kKeys, {}, {}, {}},
                       SyncStore::Entry{changed, {}, {}, {}, {}}, SyncStore::Entry{twin, kKeys, {}, {}, {}}};
  store->apply(payload);
  const QList<UploaderConfig> expected{own(), changed};
  EXPECT_EQ(stored(), expected) << "the own service first, the local-only connection dropped";
  EXPECT_EQ(settings->uploaders(), expected);
  EXPECT_EQ(signals.posted(), QStringList{kSettingsChanged});
  EXPECT_EQ(S3Credentials::load(keychain, foreignOwn.id), std::nullopt) << "own-service entries are ignored";
  EXPECT_EQ(S3Credentials::load(keychain, changed.id), std::nullopt) << "a repeated identifier is ignored";
}

TEST_F(SyncStoreTest, AListStoredWithoutTheOwnServiceGetsTheAgentsOneBack) {
  const UploaderConfig a = connection(Kind::ftp, QStringLiteral("a"));
  storeConnections({own(), a});
  defaults.inner.set(kConfigsKey, UploaderConfig::encodeList({a}).value());

  store->apply(SyncStore::Payload{{SyncStore::Entry{a, {}, {}, {}, {}}}, {}, {}, {}});
  EXPECT_EQ(stored(), (QList<UploaderConfig>{own(), a}));
}

TEST_F(SyncStoreTest, TombstonesOlderThanAYearAreNotKeptAndEqualOnesNotRewritten) {
  SyncStore::Payload payload;
  payload.deleted = {{QStringLiteral("OLD"), clock.now().addDays(-366)},
                     {QStringLiteral("NEW"), clock.now().addDays(-364)}};
  store->apply(payload);
  EXPECT_EQ(settings->readDeletedUploaders(),
            (QMap<QString, QDateTime>{{QStringLiteral("NEW"), clock.now().addDays(-364)}}));

  forgetWrites();
  store->apply(payload);
  EXPECT_FALSE(defaults.written.contains(QStringLiteral("deletedUploaders")))
      << "the expired one is dropped again, and what is left is what is stored";
}

TEST_F(SyncStoreTest, PullingAnUnchangedPayloadRewritesNothing) {
  UploaderConfig old =
      connection(Kind::customS3, QStringLiteral("never changed"), UploaderConfig::distantPast());
  UploaderConfig drive = connection(Kind::oneDrive, QStringLiteral("drive"), at(10, 0, 0));
  storeConnections({own(), old, drive});
  S3Credentials::save(keychain, kKeys, old.id);
  OAuthCredentials::save(keychain, kTokens, drive.id, OAuthProvider::microsoft);  // expiry with 900 ms
  settings->writeDeletedUploaders({{QStringLiteral("GONE"), at(9, 0, 0)}});
  defaults.inner.set(QStringLiteral("panelEdge"), QStringLiteral("top"));  // never stamped
  settings->applySyncedPreference(QStringLiteral("uploadFailedSound"), QStringLiteral("false"), at(8, 0, 0));
  store->localPayload();  // an earlier collect, which marked the credentials
  forgetWrites();

  const QByteArray json = store->localPayload().toJson();
  EXPECT_TRUE(json.contains(R"("updatedAt":"0001-01-01T00:00:00Z")")) << json.toStdString();
  const auto pulled = SyncPayload::fromJson(json);
  ASSERT_TRUE(pulled);
  store->apply(*pulled);
  EXPECT_TRUE(defaults.written.isEmpty()) << defaults.written.join(u',').toStdString();
  EXPECT_TRUE(keychain.written.isEmpty()) << keychain.written.join(u',').toStdString();
  EXPECT_TRUE(signals.posted().isEmpty());
}

}  // namespace
}  // namespace pm
