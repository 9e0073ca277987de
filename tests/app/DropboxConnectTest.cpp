#include <gtest/gtest.h>

#include "AgentRig.h"
#include "connectors/DropboxSignIn.h"
#include "connectors/DropboxUploader.h"
#include "connectors/OAuthCallback.h"
#include "connectors/OAuthCredentials.h"
#include "platform/SharedNames.h"
#include "support/FakeBrowser.h"
#include "support/FakeDropbox.h"

namespace pm {
namespace {

// The agent's drive sign-ins for Dropbox as the program wires them: the browser sign-in, the label
// lookup with the new token and the keychain item of the connection.
class DropboxSignIns final : public DriveSignIns {
 public:
  DropboxSignIns(const DropboxSignIn& signIn, Keychain& keychain) : signIn_(signIn), keychain_(keychain) {}

  QCoro::Task<DriveCredentials> signIn(DriveProvider provider) override {
    if (provider != DriveProvider::dropbox) throw std::runtime_error("only Dropbox is wired here");
    const OAuthCredentials signedIn = co_await signIn_.connect();
    co_return DriveCredentials{signedIn.refreshToken, signedIn.account, signedIn.accessToken, signedIn.expiresAt};
  }
  QCoro::Task<QString> fetchAccountLabel(DriveProvider, QString accessToken) override {
    co_return co_await DropboxUploader::fetchAccountLabel(signIn_.network(), signIn_.endpoints(), accessToken);
  }
  bool save(const DriveCredentials& value, const QUuid& connection, DriveProvider) override {
    return OAuthCredentials::save(
        keychain_, OAuthCredentials{value.refreshToken, value.account, value.accessToken, value.expiresAt}, connection,
        OAuthProvider::dropbox);
  }

 private:
  const DropboxSignIn& signIn_;
  Keychain& keychain_;
};

class CallbackRedirects final : public OAuthRedirectHandler {
 public:
  explicit CallbackRedirects(OAuthCallback& callback) : callback_(callback) {}
  bool handle(const QUrl& url) override { return callback_.handle(url.toString()); }

 private:
  OAuthCallback& callback_;
};

TEST(DropboxConnect, TheAgentSignsInThroughItsOpenedUrlsAndStoresTheAccountLabel) {
  test::AgentRig rig;
  test::FakeDropbox dropbox;
  test::FakeBrowser browser;
  OAuthCallback callback;
  const DropboxSignIn signIn(rig.network, BundleInfo({{QStringLiteral("DROPBOX_APP_KEY"), QStringLiteral("key")}}),
                             rig.clock, &browser, &callback,
                             DropboxSignInOptions{{dropbox.apiEndpoint(), dropbox.contentEndpoint(), dropbox.apiEndpoint()}});
  DropboxSignIns drives(signIn, rig.keychain);
  CallbackRedirects redirects(callback);
  rig.drivesInUse = &drives;
  rig.oauthInUse = &redirects;
  AppDelegate& agent = rig.launch();
  // The desktop hands the redirect to the running agent, as the scheme handler does.
  browser.openOwnSchemeWith([&agent](const QUrl& url) {
    agent.openUrls({url});
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

  const std::optional<OAuthCredentials> stored = OAuthCredentials::load(rig.keychain, connection, OAuthProvider::dropbox);
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
