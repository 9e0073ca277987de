// The agent's requests and opened URLs reaching the real connectors: the Google and OneDrive sign-ins against
// the fake providers and browser, the one OAuth redirect waiter, and the synced-folder check on a temp root.
#include <gtest/gtest.h>

#include <QDir>

#include "AgentRig.h"
#include "app/ConnectorDriveSignIns.h"
#include "app/OAuthCallbackRedirects.h"
#include "app/SyncedFolderCheck.h"
#include "connectors/GoogleSignIn.h"
#include "connectors/OAuthCallback.h"
#include "connectors/OAuthFailure.h"
#include "connectors/OneDriveSignIn.h"
#include "platform/SharedNames.h"
#include "support/FakeBrowser.h"
#include "support/FakeGoogle.h"
#include "support/FakeMicrosoft.h"
#include "support/LogCapture.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

QString literal(const char* text) {
  return QString::fromLatin1(text);
}

// A launched agent whose start-up posts are forgotten, so a test sees only what its request posts.
void launchQuietly(test::AgentRig& rig) {
  rig.launch();
  test::spin(20ms);
  rig.recording->posted.clear();
}

int settingsChangedPosts(const test::AgentRig& rig) {
  return rig.recording->posted.count(literal(names::signal::kSettingsChanged));
}

// ---- connecting a drive ----------------------------------------------------------------------------

struct ConnectRow {
  const char* name;
  const char* kind;                     // the connection kind the settings program asked for
  bool wired;                           // the agent was given this provider's sign-in
  std::optional<QString> browserError;  // the browser's answer: this provider error, else a code
  bool connectedBefore;                 // the connection already holds working tokens
  bool stores;                          // the new tokens replace what was stored
  const char* account;                  // the account label stored with new tokens
  const char* logLine;
};

class ConnectDriveForReal : public ::testing::TestWithParam<ConnectRow> {};

TEST_P(ConnectDriveForReal, StoresWhatTheSignInYieldsAndAlwaysTellsTheSettingsProgram) {
  const ConnectRow& row = GetParam();
  const QString kind = literal(row.kind);
  test::FakeGoogle google;
  google.setEmail(QStringLiteral("ada@example.com"));
  test::FakeMicrosoft microsoft;
  test::FakeBrowser browser;
  if (row.browserError) browser.answerWithError(*row.browserError);
  test::AgentRig rig;
  // Wired as the program wires them: Google's redirect comes to a loopback listener, Microsoft's through
  // the agent's opened URLs to the one OAuthCallback.
  const auto googleSignIn = std::make_shared<const GoogleSignIn>(
      rig.network,
      BundleInfo({{QStringLiteral("GOOGLE_CLIENT_ID"), QStringLiteral("client-7.apps")},
                  {QStringLiteral("GOOGLE_CLIENT_SECRET"), QStringLiteral("secret")}}),
      rig.clock, &browser,
      GoogleSignInOptions{GoogleEndpoints{google.url(QStringLiteral("/api")),
                                          google.url(QStringLiteral("/accounts")), google.url()},
                          {}});
  OAuthCallback callback;
  const auto oneDrive = std::make_shared<const OneDriveSignIn>(
      rig.network, BundleInfo({{QStringLiteral("MICROSOFT_CLIENT_ID"), QStringLiteral("client-9")}}), rig.clock,
      &callback, &browser, OneDriveSignInOptions{{microsoft.url(QStringLiteral("/v1.0/")), microsoft.url()}});
  const bool wiresOneDrive = row.wired && kind == QLatin1String("oneDrive");
  ConnectorDriveSignIns drives(rig.keychain, row.wired && kind == QLatin1String("googleDrive") ? googleSignIn : nullptr,
                               wiresOneDrive ? oneDrive : nullptr);
  OAuthCallbackRedirects redirects(callback);
  rig.driveSignIns = &drives;
  rig.redirects = &redirects;
  launchQuietly(rig);
  AppDelegate* agent = rig.delegate.get();
  browser.openOwnSchemeWith([agent](const QUrl& url) {
    agent->openUrls({url.toString(QUrl::FullyEncoded)});
    return true;
  });

  const QUuid connection = QUuid::createUuid();
  const std::optional<OAuthProvider> provider = oauthProvider(*kindFromRawValue(kind));
  const OAuthCredentials before{QStringLiteral("refresh-old"), QStringLiteral("old@example.com"),
                                QStringLiteral("access-old"), rig.clock.now().addSecs(600)};
  if (row.connectedBefore) {
    ASSERT_TRUE(OAuthCredentials::save(rig.keychain, before, connection, *provider));
  }
  rig.defaults.set(literal(names::key::kPendingDriveConnect),
                   connection.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('|') + kind);

  test::LogCapture log;
  rig.signals.postDarwinNotification(literal(names::signal::kConnectDrive));
  ASSERT_TRUE(test::runUntil([&] { return settingsChangedPosts(rig) > 0; }));
  test::spin(20ms);

  EXPECT_EQ(settingsChangedPosts(rig), 1);
  EXPECT_TRUE(log.contains(literal(row.logLine))) << log.lines().join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(browser.opened().size(), row.wired ? 1 : 0);
  // A redirect taken by the sign-in never opens the settings program.
  EXPECT_TRUE(rig.workspace.openedPrograms.isEmpty());
  const std::optional<OAuthCredentials> stored = OAuthCredentials::load(rig.keychain, connection, *provider);
  if (row.stores) {
    EXPECT_EQ(stored, (OAuthCredentials{QStringLiteral("refresh-for-the-code"), literal(row.account),
                                        QStringLiteral("access-1"), rig.clock.now().addSecs(3599)}));
  } else if (row.connectedBefore) {
    EXPECT_EQ(stored, before) << "a failed sign-in keeps the working tokens";
  } else {
    EXPECT_EQ(stored, std::nullopt);
  }
  if (wiresOneDrive && row.stores) {
    ASSERT_EQ(microsoft.tokenForms().size(), 1);
    EXPECT_EQ(microsoft.tokenForms().first().value(QStringLiteral("code")), QStringLiteral("the-code"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConnectDriveForReal,
    ::testing::Values(
        ConnectRow{"googleSignsIn", "googleDrive", true, std::nullopt, false, true, "ada@example.com",
                   "connecting a google account"},
        ConnectRow{"googleReplacesOldTokens", "googleDrive", true, std::nullopt, true, true, "ada@example.com",
                   "connecting a google account"},
        ConnectRow{"googleRefused", "googleDrive", true, QStringLiteral("access_denied"), true, false, "",
                   "connecting a google account failed: access_denied"},
        ConnectRow{"oneDriveSignsIn", "oneDrive", true, std::nullopt, false, true, "ada@outlook.com",
                   "connecting a microsoft account"},
        ConnectRow{"oneDriveReplacesOldTokens", "oneDrive", true, std::nullopt, true, true, "ada@outlook.com",
                   "connecting a microsoft account"},
        ConnectRow{"oneDriveRefused", "oneDrive", true, QStringLiteral("access_denied"), true, false, "",
                   "connecting a microsoft account failed: access_denied"},
        ConnectRow{"dropboxWithoutItsSignInStoresNothing", "dropbox", false, std::nullopt, false, false, "",
                   "connecting a dropbox account failed: signing in to dropbox is not available yet"},
        ConnectRow{"oneDriveWithoutItsSignInKeepsTheWorkingTokens", "oneDrive", false, std::nullopt, true, false,
                   "", "connecting a microsoft account failed: signing in to microsoft is not available yet"}),
    [](const ::testing::TestParamInfo<ConnectRow>& info) { return std::string(info.param.name); });

// ---- opened URLs -----------------------------------------------------------------------------------

struct RedirectRow {
  const char* name;
  QString url;
  bool taken;  // the waiting sign-in took it, so the settings program stays closed
};

// A launched agent whose opened URLs go to a real OAuthCallback, where a sign-in waits for state "s1".
class AWaitingSignIn : public ::testing::Test {
 protected:
  AWaitingSignIn() {
    rig.redirects = &redirects;
    rig.launch();
  }

  OAuthCallback callback;
  OAuthCallbackRedirects redirects{callback};
  test::AgentRig rig;
  QCoro::Task<QString> waiting = callback.code(QStringLiteral("s1"), 20s);
};

class OpenedRedirect : public AWaitingSignIn, public ::testing::WithParamInterface<RedirectRow> {};

const QString kRedirect = QStringLiteral("parcelmoor://oauth/dropbox?state=s1&code=c1");

TEST_P(OpenedRedirect, ReachesTheWaitingSignInOrOpensTheSettings) {
  const RedirectRow& row = GetParam();

  rig.delegate->openUrls({row.url});

  EXPECT_EQ(rig.workspace.openedPrograms.size(), row.taken ? 0 : 1);
  EXPECT_EQ(callback.isWaiting(), !row.taken);
  // A URL that was not taken leaves the sign-in waiting for the right one.
  if (!row.taken) rig.delegate->openUrls({kRedirect});
  EXPECT_EQ(test::wait(std::move(waiting)), QStringLiteral("c1"));
  EXPECT_TRUE(rig.workspace.openedUrls.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OpenedRedirect,
    ::testing::Values(
        RedirectRow{"matchingState", kRedirect, true},
        RedirectRow{"otherState", QStringLiteral("parcelmoor://oauth/dropbox?state=s2&code=c2"), false},
        RedirectRow{"hostInCapitals", QStringLiteral("parcelmoor://OAUTH/dropbox?state=s1&code=c2"), false},
        RedirectRow{"notARedirect", QStringLiteral("parcelmoor://settings"), false}),
    [](const ::testing::TestParamInfo<RedirectRow>& info) { return std::string(info.param.name); });

TEST_F(AWaitingSignIn, EndsWithTheProvidersTextWhenTheRedirectRefuses) {
  rig.delegate->openUrls({QStringLiteral("parcelmoor://oauth/onedrive?state=s1&error=access_denied")});

  EXPECT_TRUE(rig.workspace.openedPrograms.isEmpty());
  try {
    test::wait(std::move(waiting));
    ADD_FAILURE() << "the sign-in did not fail";
  } catch (const OAuthFailure& failure) {
    EXPECT_EQ(failure, OAuthFailure::refused(QStringLiteral("access_denied")));
  }
}

// ---- the synced folder -----------------------------------------------------------------------------

struct CheckRow {
  const char* name;
  bool rootExists;
  QString state;  // what "icloudState" holds afterwards
};

class CheckICloud : public ::testing::TestWithParam<CheckRow> {};

TEST_P(CheckICloud, StoresTheAnswerAndItsTimeAndTellsTheSettingsProgram) {
  const CheckRow& row = GetParam();
  test::AgentRig rig;
  const QString root = rig.root.file(QStringLiteral("drive"));
  if (row.rootExists) {
    ASSERT_TRUE(QDir().mkpath(root));
  }
  SyncedFolderCheck check(root, rig.defaults, rig.signals);
  rig.icloudCheck = &check;
  launchQuietly(rig);
  const QString checkedAt = literal(names::key::kICloudCheckedAt);
  rig.defaults.set(checkedAt, 0.0);
  rig.defaults.set(literal(names::key::kICloudState), QStringLiteral("stale"));

  rig.signals.postDarwinNotification(literal(names::signal::kCheckICloud));
  ASSERT_TRUE(test::runUntil([&] { return settingsChangedPosts(rig) > 0; }));

  EXPECT_EQ(rig.defaults.stringValue(literal(names::key::kICloudState)), row.state);
  EXPECT_GT(rig.defaults.doubleValue(checkedAt).value_or(0.0), 0.0);
  EXPECT_EQ(settingsChangedPosts(rig), 1);
  if (row.rootExists) {
    const QDir documents(root + QStringLiteral("/iCloud.com.wrenfold.Parcelmoor/Documents"));
    EXPECT_TRUE(documents.exists());
    EXPECT_TRUE(documents.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty())
        << "no probe file is left behind";
  } else {
    EXPECT_FALSE(QFileInfo::exists(root)) << "the check makes no root of its own";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckICloud,
    ::testing::Values(CheckRow{"usable", true, QString()},
                      CheckRow{"switchedOff", false,
                               QStringLiteral("The synced folder is switched off on this computer.")}),
    [](const ::testing::TestParamInfo<CheckRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pm
