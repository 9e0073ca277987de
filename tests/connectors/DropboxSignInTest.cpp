#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QUrlQuery>

#include "OAuthFailureTesting.h"
#include "UploadErrorPrinting.h"
#include "connectors/DropboxSignIn.h"
#include "connectors/OAuthCallback.h"
#include "connectors/OAuthFailure.h"
#include "connectors/Pkce.h"
#include "platform/Keychain.h"
#include "support/FakeBrowser.h"
#include "support/FakeDropbox.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::oauthFailureOf;

const QUuid kConnection = QUuid::fromString(QStringLiteral("{5B0F8C2E-4D7A-4E61-9C3B-2A1D0E9F8B7C}"));

BundleInfo appKey(std::optional<QString> key = QStringLiteral("app-key-1")) {
  QHash<QString, QString> values;
  if (key) values.insert(QStringLiteral("DROPBOX_APP_KEY"), *key);
  return BundleInfo(std::move(values));
}

class DropboxSignInTest : public testing::Test {
 protected:
  DropboxSignInTest() {
    browser_.openOwnSchemeWith([this](const QUrl& url) { return callback_.handle(url.toString()); });
  }
  DropboxSignIn signIn(BundleInfo bundle = appKey(), std::chrono::milliseconds wait = 300s) {
    return DropboxSignIn(network_, std::move(bundle), clock_, &browser_, &callback_,
                         DropboxSignInOptions{endpoints(), wait});
  }
  DropboxEndpoints endpoints() const {
    return DropboxEndpoints{dropbox_.apiEndpoint(), dropbox_.contentEndpoint(), dropbox_.apiEndpoint()};
  }
  OAuthCredentials expiringIn(qint64 seconds) const {
    return OAuthCredentials{QStringLiteral("refresh-old"), QStringLiteral("me@example.com"),
                            QStringLiteral("old"), clock_.now().addSecs(seconds)};
  }

  test::FakeDropbox dropbox_;
  test::FakeBrowser browser_;
  OAuthCallback callback_;
  test::ManualClock clock_;
  QNetworkAccessManager network_;
  MemoryKeychain keychain_;
};

TEST_F(DropboxSignInTest, ASignInOpensTheConsentPageAndExchangesTheRedirectedCode) {
  const OAuthCredentials credentials = test::wait(signIn().connect());

  EXPECT_EQ(credentials, (OAuthCredentials{QStringLiteral("refresh-for-the-code"), QString(),
                                           QStringLiteral("access-1"), clock_.now().addSecs(14400)}));
  ASSERT_EQ(browser_.opened().size(), 1);
  const QUrl page = browser_.opened().first();
  EXPECT_EQ(page.path(), QStringLiteral("/api/oauth2/authorize"));
  const QList<QPair<QString, QString>> items = QUrlQuery(page).queryItems(QUrl::FullyDecoded);
  ASSERT_EQ(items.size(), 8);
  const QList<QPair<QString, QString>> fixed{
      {"client_id", "app-key-1"},
      {"redirect_uri", "parcelmoor://oauth/dropbox"},
      {"response_type", "code"},
      {"scope", "account_info.read files.content.write"},
  };
  EXPECT_EQ(items.mid(0, 4), fixed);
  EXPECT_EQ(items[4].first, QStringLiteral("code_challenge"));
  EXPECT_EQ(items[5], (QPair<QString, QString>{"code_challenge_method", "S256"}));
  EXPECT_EQ(items[6].first, QStringLiteral("state"));
  EXPECT_EQ(items[6].second.size(), 43);
  EXPECT_EQ(items[7], (QPair<QString, QString>{"token_access_type", "offline"}));

  ASSERT_EQ(dropbox_.tokenForms().size(), 1);
  const QMap<QString, QString> form = dropbox_.tokenForms().first();
  EXPECT_EQ(form.keys(), (QStringList{"client_id", "code", "code_verifier", "grant_type", "redirect_uri"}));
  EXPECT_EQ(form.value("client_id"), QStringLiteral("app-key-1"));
  EXPECT_EQ(form.value("code"), QStringLiteral("the-code"));
  EXPECT_EQ(form.value("grant_type"), QStringLiteral("authorization_code"));
  EXPECT_EQ(form.value("redirect_uri"), QStringLiteral("parcelmoor://oauth/dropbox"));
  EXPECT_EQ(pkceChallenge(form.value("code_verifier")), items[4].second);
  EXPECT_FALSE(callback_.isWaiting());
}

TEST_F(DropboxSignInTest, WithoutAnAppKeyNothingOpens) {
  for (const std::optional<QString>& key : {std::optional<QString>(), std::optional(QString()),
                                            std::optional(QStringLiteral("$(DROPBOX_APP_KEY)"))}) {
    EXPECT_EQ(oauthFailureOf(signIn(appKey(key)).connect()), OAuthFailure::notConfigured());
    EXPECT_EQ(oauthFailureOf(signIn(appKey(key)).refreshed(expiringIn(3600))), OAuthFailure::notConfigured());
  }
  EXPECT_TRUE(browser_.opened().isEmpty());
  EXPECT_TRUE(dropbox_.requests().isEmpty());
}

TEST_F(DropboxSignInTest, ARefusalOnTheRedirectAndASilentBrowserEndTheSignIn) {
  browser_.answerWithError(QStringLiteral("access_denied"));
  EXPECT_EQ(oauthFailureOf(signIn().connect()), OAuthFailure::refused(QStringLiteral("access_denied")));
  browser_.answerNothing();
  EXPECT_EQ(oauthFailureOf(signIn(appKey(), 50ms).connect()), OAuthFailure::noAnswer());
  EXPECT_TRUE(dropbox_.tokenForms().isEmpty());
}

TEST_F(DropboxSignInTest, AnExchangeWithoutARefreshTokenIsABadResponse) {
  dropbox_.script(QStringLiteral("/oauth2/token"), {200, R"({"access_token":"a","expires_in":100})"});
  EXPECT_EQ(oauthFailureOf(signIn().connect()), OAuthFailure::badResponse());
}

TEST_F(DropboxSignInTest, TheTokenEndpointsRefusalsCarryDropboxsText) {
  struct Case {
    int status;
    QByteArray body;
    OAuthFailure expected;
  };
  const QString fallback = QStringLiteral("Dropbox refused the sign-in.");
  const Case cases[] = {
      {400, R"({"error_description":"bad code","error":"invalid_grant"})", OAuthFailure::refused("bad code")},
      {400, R"({"error":"invalid_grant"})", OAuthFailure::refused("invalid_grant")},
      {400, R"({"error_description":7,"error":"invalid_grant"})", OAuthFailure::refused(fallback)},
      {400, R"({"error":["x"]})", OAuthFailure::refused(fallback)},
      {400, "not json", OAuthFailure::refused(fallback)},
      // Only 200 is an answer, even with a usable body.
      {201, R"({"access_token":"a","expires_in":100,"refresh_token":"r"})", OAuthFailure::refused(fallback)},
      {200, R"({"access_token":"a"})", OAuthFailure::badResponse()},
  };
  const QMap<QString, QString> form{{QStringLiteral("grant_type"), QStringLiteral("refresh_token")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.toStdString());
    dropbox_.script(QStringLiteral("/oauth2/token"), {c.status, c.body});
    EXPECT_EQ(oauthFailureOf(signIn().requestToken(form)), c.expected);
  }
}

TEST_F(DropboxSignInTest, AccessTokensAreRenewedAMinuteBeforeTheyExpire) {
  struct Case {
    qint64 expiresIn;
    bool renewed;
  };
  for (const Case c : {Case{59, true}, Case{61, false}}) {
    SCOPED_TRACE(c.expiresIn);
    ASSERT_TRUE(
        OAuthCredentials::save(keychain_, expiringIn(c.expiresIn), kConnection, OAuthProvider::dropbox));
    const int before = int(dropbox_.tokenForms().size());
    const QString token = test::wait(signIn().accessToken(keychain_, kConnection));
    const std::optional<OAuthCredentials> stored =
        OAuthCredentials::load(keychain_, kConnection, OAuthProvider::dropbox);
    ASSERT_TRUE(stored);
    if (!c.renewed) {
      EXPECT_EQ(token, QStringLiteral("old"));
      EXPECT_EQ(*stored, expiringIn(c.expiresIn));
      EXPECT_EQ(dropbox_.tokenForms().size(), before);
      continue;
    }
    // The renewal answer has no refresh token: the old one and the account label stay.
    EXPECT_EQ(token, stored->accessToken);
    EXPECT_EQ(*stored, (OAuthCredentials{QStringLiteral("refresh-old"), QStringLiteral("me@example.com"),
                                         token, clock_.now().addSecs(14400)}));
    ASSERT_EQ(dropbox_.tokenForms().size(), before + 1);
    EXPECT_EQ(dropbox_.tokenForms().last(), (QMap<QString, QString>{{"client_id", "app-key-1"},
                                                                    {"grant_type", "refresh_token"},
                                                                    {"refresh_token", "refresh-old"}}));
  }
}

TEST_F(DropboxSignInTest, WithoutAnAccountOrWithAFailedRenewalNothingChanges) {
  const UploadError noAccount =
      UploadError::rejected(QStringLiteral("This connection has no Dropbox account yet."));
  try {
    test::wait(signIn().accessToken(keychain_, kConnection));
    ADD_FAILURE() << "a token came without credentials";
  } catch (const UploadError& error) {
    EXPECT_EQ(error, noAccount);
  }
  OAuthCredentials signedOut = expiringIn(3600);
  signedOut.refreshToken.clear();
  keychain_.store(QStringLiteral("com.wrenfold.Parcelmoor.dropbox"),
                  kConnection.toString(QUuid::WithoutBraces).toUpper(), signedOut.toJson());
  try {
    test::wait(signIn().accessToken(keychain_, kConnection));
    ADD_FAILURE() << "a token came without a refresh token";
  } catch (const UploadError& error) {
    EXPECT_EQ(error, noAccount);
  }

  ASSERT_TRUE(OAuthCredentials::save(keychain_, expiringIn(10), kConnection, OAuthProvider::dropbox));
  dropbox_.script(QStringLiteral("/oauth2/token"), {400, R"({"error":"invalid_grant"})"});
  EXPECT_EQ(oauthFailureOf(signIn().accessToken(keychain_, kConnection)),
            OAuthFailure::refused("invalid_grant"));
  EXPECT_EQ(OAuthCredentials::load(keychain_, kConnection, OAuthProvider::dropbox), expiringIn(10));
}

}  // namespace
}  // namespace pm
