#include <gtest/gtest.h>

#include "AgentRig.h"
#include "support/PrivateBus.h"
#include "app/Updater.h"
#include "core/AccountState.h"
#include "core/AppSettings.h"
#include "core/ConnectorBookkeeping.h"
#include "core/SessionToken.h"
#include "platform/SharedNames.h"
#include "support/LogCapture.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

QString literal(const char* text) {
  return QString::fromLatin1(text);
}
QString request(const char* verb) {
  return QStringLiteral("com.wrenfold.Parcelmoor.") + literal(verb);
}

// A launched agent whose start-up posts and calls are forgotten, so a test sees only its request's.
struct Launched {
  explicit Launched(std::unique_ptr<Signals> signals = nullptr) : rig(std::move(signals)) {}
  AppDelegate& launch() {
    AppDelegate& delegate = rig.launch();
    // A signed-in start-up check publishes twice (at once, then confirmed); until then a second refresh
    // would be skipped as one already running.
    const bool signedIn = loadKeychainString(rig.keychain, sessionTokenAccount()).has_value();
    if (signedIn && rig.recording) {
      EXPECT_TRUE(test::runUntil([&] { return postedCount(names::signal::kAccountChanged) >= 2; }));
    }
    test::spin(20ms);
    settle();
    return delegate;
  }
  void settle() {
    if (rig.recording) rig.recording->posted.clear();
    rig.sync->calls.clear();
    rig.trace.clear();
  }
  void post(const char* verb) { rig.signals.postDarwinNotification(request(verb)); }
  int postedCount(const char* name) const { return rig.recording->posted.count(literal(name)); }

  test::AgentRig rig;
};

TEST(AgentRequests, ObservesTheSixteenSignalsInOrder) {
  test::AgentRig rig;
  rig.launch();
  QStringList expected{request("postNotification")};
  for (const char* verb :
       {"checkForUpdates", "settingsChanged", "signIn", "cancelSignIn", "signOut",
        "requestNotificationAccess", "checkICloud", "connectDrive", "refreshAccount", "syncEnable",
        "syncDisable", "syncSubmitCode", "syncOffer", "syncCancelPairing", "openBilling"}) {
    expected.append(request(verb));
  }
  EXPECT_EQ(rig.recording->subscribed, expected);
}

// ---- connecting a drive ----------------------------------------------------------------------------

struct DriveRow {
  const char* name;
  std::optional<QString> stored;  // "%1" is the connection's UUID; nothing: no key at all
  bool signInFails = false;
  bool labelFails = false;
  std::optional<OAuthProvider> signedIn = std::nullopt;  // the provider whose sign-in ran
  bool labelAsked = false;
  std::optional<QString> savedAccount = std::nullopt;  // what was saved as the account, when anything was
  const char* logLine = nullptr;                       // expected; none: no "connecting" line at all
};

class ConnectDrive : public ::testing::TestWithParam<DriveRow> {};

TEST_P(ConnectDrive, TakesTheRequestOnceAndAlwaysTellsTheSettingsProgramAfterASignIn) {
  const DriveRow& row = GetParam();
  Launched agent;
  agent.launch();
  test::AgentRig& rig = agent.rig;
  const QUuid connection = QUuid::createUuid();
  const QString key = literal(names::key::kPendingDriveConnect);
  if (row.stored) rig.defaults.set(key, row.stored->arg(connection.toString(QUuid::WithoutBraces).toUpper()));
  rig.drives.credentials = {
      {OAuthProvider::google, {QStringLiteral("g-refresh"), {}, QStringLiteral("g-access"), {}}},
      {OAuthProvider::microsoft,
       {QStringLiteral("m-refresh"), QStringLiteral("ada@outlook.com"), QStringLiteral("m-access"), {}}},
      {OAuthProvider::dropbox, {QStringLiteral("d-refresh"), {}, QStringLiteral("d-access"), {}}}};
  rig.drives.labels = {{OAuthProvider::google, QStringLiteral("ada@gmail.com")},
                       {OAuthProvider::dropbox, QStringLiteral("Ada L.")}};
  if (row.signInFails) rig.drives.credentials.clear();
  if (row.labelFails) rig.drives.labels.clear();

  test::LogCapture log;
  agent.post("connectDrive");
  if (row.signedIn) {
    ASSERT_TRUE(test::runUntil([&] { return agent.postedCount(names::signal::kSettingsChanged) > 0; }));
  }
  test::spin(50ms);

  EXPECT_FALSE(rig.defaults.contains(key));
  EXPECT_EQ(agent.postedCount(names::signal::kSettingsChanged), row.signedIn ? 1 : 0);
  EXPECT_EQ(rig.drives.signIns, row.signedIn ? QList<OAuthProvider>{*row.signedIn} : QList<OAuthProvider>{});
  EXPECT_EQ(rig.drives.labelLookups.size(), row.labelAsked ? 1 : 0);
  if (row.labelAsked) {
    EXPECT_EQ(rig.drives.labelLookups.first().second,
              rig.drives.credentials.value(*row.signedIn).accessToken);
  }
  if (row.savedAccount) {
    ASSERT_EQ(rig.drives.saved.size(), 1);
    EXPECT_EQ(rig.drives.saved.first().connection, connection);
    EXPECT_EQ(rig.drives.saved.first().provider, *row.signedIn);
    EXPECT_EQ(rig.drives.saved.first().credentials.account, *row.savedAccount);
    EXPECT_EQ(rig.drives.saved.first().credentials.refreshToken,
              rig.drives.credentials.value(*row.signedIn).refreshToken);
  } else {
    EXPECT_TRUE(rig.drives.saved.isEmpty());
  }
  if (row.logLine) {
    EXPECT_TRUE(log.contains(literal(row.logLine))) << log.lines().join(QLatin1Char('\n')).toStdString();
  } else {
    EXPECT_FALSE(log.contains(QStringLiteral("connecting a")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConnectDrive,
    ::testing::Values(
        DriveRow{"google", QStringLiteral("%1|googleDrive"), false, false, OAuthProvider::google, true,
                 QStringLiteral("ada@gmail.com"), "connecting a google account"},
        DriveRow{"onedrive", QStringLiteral("%1|oneDrive"), false, false, OAuthProvider::microsoft, false,
                 QStringLiteral("ada@outlook.com"), "connecting a microsoft account"},
        DriveRow{"dropbox", QStringLiteral("%1|dropbox"), false, false, OAuthProvider::dropbox, true,
                 QStringLiteral("Ada L."), "connecting a dropbox account"},
        DriveRow{"icloud", QStringLiteral("%1|icloud")}, DriveRow{"unknownKind", QStringLiteral("%1|box")},
        DriveRow{"noSeparator", QStringLiteral("%1")}, DriveRow{"notAUuid", QStringLiteral("x|dropbox")},
        DriveRow{"empty", QString()}, DriveRow{"absent", std::nullopt},
        DriveRow{"signInFails", QStringLiteral("%1|googleDrive"), true, false, OAuthProvider::google, false,
                 std::nullopt, "connecting a google account failed: the browser sign-in was refused"},
        DriveRow{"labelFails", QStringLiteral("%1|dropbox"), false, true, OAuthProvider::dropbox, true,
                 std::nullopt, "connecting a dropbox account failed: the account label could not be read"}),
    [](const ::testing::TestParamInfo<DriveRow>& info) { return std::string(info.param.name); });

// ---- account --------------------------------------------------------------------------------------

TEST(AgentRequests, SignOutEndsTheServerSessionWithTheTokenItForgot) {
  Launched agent;
  const QString token = agent.rig.signIn();
  agent.launch();
  agent.post("signOut");
  ASSERT_TRUE(
      test::runUntil([&] { return agent.rig.service.count("POST", QStringLiteral("auth/sign-out")) == 1; }));
  EXPECT_EQ(agent.rig.service.requests("POST", QStringLiteral("auth/sign-out")).first().bearerToken(), token);
  EXPECT_FALSE(loadKeychainString(agent.rig.keychain, sessionTokenAccount()).has_value());
  EXPECT_EQ(AccountState::load(agent.rig.defaults), AccountState::signedOut());
}

TEST(AgentRequests, SignOutWithoutTokenForgetsLocallyAndAsksNothing) {
  Launched agent;
  agent.launch();
  agent.post("signOut");
  ASSERT_TRUE(test::runUntil([&] { return agent.postedCount(names::signal::kAccountChanged) > 0; }));
  test::spin(50ms);
  EXPECT_EQ(agent.rig.service.count("POST", QStringLiteral("auth/sign-out")), 0);
  EXPECT_EQ(AccountState::load(agent.rig.defaults), AccountState::signedOut());
}

TEST(AgentRequests, SignInOpensTheVerificationPage) {
  Launched agent;
  agent.launch();
  agent.post("signIn");
  ASSERT_TRUE(test::runUntil([&] { return !agent.rig.workspace.openedUrls.isEmpty(); }));
  EXPECT_EQ(agent.rig.service.count("POST", QStringLiteral("auth/device/code")), 1);
  agent.post("cancelSignIn");
  ASSERT_TRUE(
      test::runUntil([&] { return AccountState::load(agent.rig.defaults) == AccountState::signedOut(); }));
}

struct BillingRow {
  const char* name;
  bool signedIn;
  bool portalFails;
  const char* path;  // of the opened page
};

class OpenBilling : public ::testing::TestWithParam<BillingRow> {};

TEST_P(OpenBilling, OpensThePortalOrTheAccountPage) {
  const BillingRow& row = GetParam();
  Launched agent;
  if (row.signedIn) agent.rig.signIn();
  if (row.portalFails)
    agent.rig.service.script("POST", QStringLiteral("billing"), test::FakeService::Reply::error(500));
  agent.launch();
  agent.post("openBilling");
  ASSERT_TRUE(test::runUntil([&] { return !agent.rig.workspace.openedUrls.isEmpty(); }));
  QUrl expected = agent.rig.service.baseUrl();
  expected.setPath(literal(row.path));
  EXPECT_EQ(agent.rig.workspace.openedUrls, QList<QUrl>{expected});
  EXPECT_EQ(agent.rig.service.count("POST", QStringLiteral("billing")), row.signedIn ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, OpenBilling,
                         ::testing::Values(BillingRow{"signedOut", false, false, "/account"},
                                           BillingRow{"portal", true, false, "/billing/portal"},
                                           BillingRow{"portalRefused", true, true, "/account"}),
                         [](const ::testing::TestParamInfo<BillingRow>& info) {
                           return std::string(info.param.name);
                         });

// ---- settings -------------------------------------------------------------------------------------

enum class StoredList { equal, changed, unreadable };

class SettingsChanged : public ::testing::TestWithParam<StoredList> {};

TEST_P(SettingsChanged, ReplacesOnlyADifferentListButAlwaysAppliesTheRest) {
  Launched agent;
  test::AgentRig& rig = agent.rig;
  rig.signIn();
  AppDelegate& delegate = agent.launch();
  const QList<UploaderConfig> before = delegate.settings().uploaders();
  UploaderConfig ftp(UploaderConfig::Kind::ftp);
  ftp.endpoint = QStringLiteral("ftp.example.com");
  switch (GetParam()) {
    case StoredList::equal:
      break;
    case StoredList::changed:
      rig.storeConnections(before + QList<UploaderConfig>{ftp});
      break;
    case StoredList::unreadable:
      rig.defaults.set(literal(names::key::kUploaderConfigs), QByteArrayLiteral("not a list"));
      break;
  }
  rig.defaults.set(literal(names::key::kAutomaticUpdates), false);
  const QUuid stale = QUuid::createUuid();
  const QString staleText = stale.toString(QUuid::WithoutBraces).toUpper();
  markConnectorRegistered(rig.defaults, stale);
  rig.service.addConnector(staleText);
  int listChanges = 0;
  QObject::connect(&delegate.settings(), &AppSettings::uploadersChanged, &delegate, [&] { ++listChanges; });

  agent.post("settingsChanged");
  ASSERT_TRUE(test::runUntil([&] { return rig.sync->calls.contains(QStringLiteral("schedulePush")); }));
  // The withdrawal runs too, but withdraws nothing while the stored connections cannot be read.
  if (GetParam() != StoredList::unreadable) {
    ASSERT_TRUE(test::runUntil([&] { return !rig.service.hasConnector(staleText); }));
  } else {
    test::spin(50ms);
    EXPECT_TRUE(rig.service.hasConnector(staleText));
  }

  const bool replaced = GetParam() == StoredList::changed;
  EXPECT_EQ(listChanges, replaced ? 1 : 0);
  EXPECT_EQ(delegate.settings().uploaders(), replaced ? before + QList<UploaderConfig>{ftp} : before);
  EXPECT_FALSE(delegate.updater().automaticallyChecks());
  EXPECT_GE(rig.panel.edgeChecks, 1);
  if (!replaced) {
    EXPECT_EQ(agent.postedCount(names::signal::kSettingsChanged), 1) << "only the test's own post";
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsChanged,
                         ::testing::Values(StoredList::equal, StoredList::changed, StoredList::unreadable),
                         [](const ::testing::TestParamInfo<StoredList>& info) {
                           return std::string(info.param == StoredList::equal     ? "equal"
                                              : info.param == StoredList::changed ? "changed"
                                                                                  : "unreadable");
                         });

// ---- sync -----------------------------------------------------------------------------------------

void storeSyncKey(Keychain& keychain, const QByteArray& key) {
  keychain.store(QStringLiteral("com.wrenfold.Parcelmoor.sync"), QStringLiteral("sync-key"), key);
}

TEST(AgentRequests, SyncOfferRunsTheOfferWithTheStoredKey) {
  Launched agent;
  agent.launch();
  storeSyncKey(agent.rig.keychain, QByteArrayLiteral("7K2MXQ9PDRT4VB8N3WHC"));
  agent.post("syncOffer");
  ASSERT_TRUE(test::runUntil([&] { return !agent.rig.sync->offeredKeys.isEmpty(); }));
  EXPECT_EQ(agent.rig.sync->calls, QStringList{QStringLiteral("startFlow")});
  EXPECT_EQ(agent.rig.sync->offeredKeys, QStringList{QStringLiteral("7K2MXQ9PDRT4VB8N3WHC")});
}

TEST(AgentRequests, SyncOfferWithoutKeyDoesNothing) {
  Launched agent;
  agent.launch();
  agent.post("syncOffer");
  test::spin(50ms);
  EXPECT_TRUE(agent.rig.sync->calls.isEmpty());
  EXPECT_FALSE(agent.rig.defaults.contains(literal(names::key::kSyncState)));
  EXPECT_EQ(agent.postedCount(names::signal::kSyncChanged), 0);
}

TEST(AgentRequests, SyncRequestsReachTheCoordinator) {
  Launched agent;
  agent.launch();
  for (const char* verb : {"syncEnable", "syncDisable", "syncSubmitCode", "syncCancelPairing"})
    agent.post(verb);
  ASSERT_TRUE(test::runUntil([&] { return agent.rig.sync->calls.size() == 4; }));
  EXPECT_EQ(agent.rig.sync->calls, (QStringList{"enable", "disable", "submitPendingCode", "cancelPairing"}));
}

struct RefreshRow {
  const char* name;
  bool flowRunning;
  bool keyStored;
  std::optional<QByteArray> published;  // nothing: the sync state is left alone
};

class RefreshAccount : public ::testing::TestWithParam<RefreshRow> {};

TEST_P(RefreshAccount, LeavesTheSyncStateToARunningFlowAndAlwaysPulls) {
  const RefreshRow& row = GetParam();
  Launched agent;
  test::AgentRig& rig = agent.rig;
  rig.signIn();
  agent.launch();
  rig.defaults.remove(literal(names::key::kSyncState));
  if (row.keyStored) storeSyncKey(rig.keychain, QByteArrayLiteral("7K2MXQ9PDRT4VB8N3WHC"));
  rig.sync->flowRunning = row.flowRunning;
  const int sessionChecks = rig.service.count("GET", QStringLiteral("auth/get-session"));

  agent.post("refreshAccount");
  ASSERT_TRUE(test::runUntil([&] { return rig.sync->calls.contains(QStringLiteral("pull")); }));
  ASSERT_TRUE(test::runUntil(
      [&] { return rig.service.count("GET", QStringLiteral("auth/get-session")) > sessionChecks; }));

  EXPECT_EQ(rig.trace, (QStringList{"icloud.check", "sync.pull"}));
  EXPECT_EQ(agent.postedCount(names::signal::kNotificationAccessChanged), 1);
  EXPECT_EQ(rig.defaults.dataValue(literal(names::key::kSyncState)), row.published);
  EXPECT_EQ(agent.postedCount(names::signal::kSyncChanged), row.published ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefreshAccount,
    ::testing::Values(RefreshRow{"duringFlow", true, true, std::nullopt},
                      RefreshRow{"keyStored", false, true, QByteArrayLiteral("{\"on\":{}}")},
                      RefreshRow{"noKey", false, false, QByteArrayLiteral("{\"off\":{}}")}),
    [](const ::testing::TestParamInfo<RefreshRow>& info) { return std::string(info.param.name); });

// ---- the rest -------------------------------------------------------------------------------------

TEST(AgentRequests, UpdateCheckActivatesAndAsksTheUpdater) {
  Launched agent;
  agent.launch();
  test::LogCapture log;
  agent.post("checkForUpdates");
  ASSERT_TRUE(test::runUntil([&] { return agent.rig.workspace.activations == 1; }));
  EXPECT_EQ(log.count(QStringLiteral("update check requested")), 1);
}

TEST(AgentRequests, NotificationRequestsPublishAccessAndDeliverTheQueue) {
  Launched agent;
  agent.launch();
  agent.post("requestNotificationAccess");
  ASSERT_TRUE(
      test::runUntil([&] { return agent.postedCount(names::signal::kNotificationAccessChanged) == 1; }));
  agent.rig.defaults.set(literal(names::key::kPendingNotifications),
                         QByteArrayLiteral(R"([{"title":"Done","body":"Uploaded"}])"));
  agent.post("postNotification");
  ASSERT_TRUE(test::runUntil([&] { return agent.rig.notifier.requests().size() == 1; }));
  agent.post("checkICloud");
  ASSERT_TRUE(test::runUntil([&] { return agent.rig.icloud.checks == 2; }));
}

TEST(AgentRequests, AfterTheDelegateIsGoneOnlyTheBoxlessWorkIsDone) {
  Launched agent;
  test::AgentRig& rig = agent.rig;
  const QString token = rig.signIn();
  agent.launch();
  rig.destroyDelegate();
  rig.defaults.set(literal(names::key::kPendingDriveConnect),
                   QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral("|dropbox"));
  for (const char* verb : {"signOut", "connectDrive", "settingsChanged", "syncOffer", "refreshAccount",
                           "checkForUpdates", "requestNotificationAccess", "checkICloud"}) {
    agent.post(verb);
  }
  ASSERT_TRUE(test::runUntil([&] { return rig.icloud.checks == 2; }));
  test::spin(50ms);
  EXPECT_EQ(loadKeychainString(rig.keychain, sessionTokenAccount()), token);
  EXPECT_TRUE(rig.defaults.contains(literal(names::key::kPendingDriveConnect)));
  EXPECT_TRUE(rig.drives.signIns.isEmpty());
  EXPECT_EQ(rig.workspace.activations, 1);
  EXPECT_EQ(agent.postedCount(names::signal::kNotificationAccessChanged), 1);
}

TEST(AgentRequests, SignalsFromAnotherProcessOnTheBusAreHandled) {
  test::PrivateBus bus;
  Launched agent(std::make_unique<DBusSignals>(bus.connect()));
  test::AgentRig& rig = agent.rig;
  const QString token = rig.signIn();
  agent.launch();

  bus.postFromAnotherProcess(request("syncEnable"));
  bus.postFromAnotherProcess(request("signOut"));
  ASSERT_TRUE(
      test::runUntil([&] { return rig.service.count("POST", QStringLiteral("auth/sign-out")) == 1; }));
  EXPECT_EQ(rig.service.requests("POST", QStringLiteral("auth/sign-out")).first().bearerToken(), token);
  EXPECT_TRUE(rig.sync->calls.contains(QStringLiteral("enable")));
}

}  // namespace
}  // namespace pm
