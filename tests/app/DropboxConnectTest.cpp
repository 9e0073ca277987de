#include <gtest/gtest.h>

#include "AgentRig.h"
#include "app/ConnectorDriveSignIns.h"
#include "app/OAuthCallbackRedirects.h"
#include "connectors/DropboxSignIn.h"
#include "connectors/OAuthCallback.h"
#include "connectors/OAuthCredentials.h"
#include "platform/SharedNames.h"
#include "support/FakeBrowser.h"
#include "support/FakeDropbox.h"

namespace pm {
namespace {

TEST(DropboxConnect, TheAgentSignsInThroughItsOpenedUrlsAndStoresTheAccountLabel) {
  test::AgentRig rig;
  test::FakeDropbox dropbox;
  test::FakeBrowser browser;
  OAuthCallback callback;
  // Wired as the program wires it: one sign-in shared by the connect request and the uploaders, the
  // redirect coming back through the agent's opened URLs to the one OAuthCallback.
  const auto signIn = std::make_shared<const DropboxSignIn>(
      rig.network, BundleInfo({{QStringLiteral("DROPBOX_APP_KEY"), QStringLiteral("key")}}), rig.clock,
      &browser, &callback,
      DropboxSignInOptions{{dropbox.apiEndpoint(), dropbox.contentEndpoint(), dropbox.apiEndpoint()}});
  ConnectorDriveSignIns drives(rig.keychain, nullptr, nullptr, signIn);
  OAuthCallbackRedirects redirects(callback);
  rig.driveSignIns = &drives;
  rig.redirects = &redirects;
  AppDelegate& agent = rig.launch();
  // The desktop hands the redirect to the running agent, as the scheme handler does.
  browser.openOwnSchemeWith([&agent](const QUrl& url) {
    agent.openUrls({url.toString(QUrl::FullyEncoded)});
    return true;
  });
  dropbox.setAccount(QStringLiteral("ada@example.com"), QStringLiteral("Ada"));
  const QUuid connection = QUuid::createUuid();
  rig.defaults.set(QString::fromLatin1(names::key::kPendingDriveConnect),
                   connection.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral("|dropbox"));
  rig.recording->posted.clear();

  rig.signals.postDarwinNotification(QStringLiteral("com.wrenfold.Parcelmoor.connectDrive"));
  ASSERT_TRUE(test::runUntil(
      [&] { return rig.recording->posted.contains(QString::fromLatin1(names::signal::kSettingsChanged)); }));

  const std::optional<OAuthCredentials> stored =
      OAuthCredentials::load(rig.keychain, connection, OAuthProvider::dropbox);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->account, QStringLiteral("ada@example.com"));
  EXPECT_EQ(stored->refreshToken, QStringLiteral("refresh-for-the-code"));
  EXPECT_EQ(stored->accessToken, QStringLiteral("access-1"));
  EXPECT_EQ(browser.opened().size(), 1);
  EXPECT_EQ(dropbox.requests(QStringLiteral("/2/users/get_current_account")).first().header("Authorization"),
            "Bearer access-1");
  // The redirect was taken as a sign-in's, so the settings program was not opened for it.
  EXPECT_TRUE(rig.workspace.openedPrograms.isEmpty());
}

}  // namespace
}  // namespace pm
