#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QTcpSocket>
#include <QUrlQuery>

#include "OAuthFailureTesting.h"
#include "connectors/GoogleSignIn.h"
#include "connectors/Pkce.h"
#include "support/FakeBrowser.h"
#include "support/FakeGoogle.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::oauthFailureOf;

BundleInfo clientValues(std::optional<QString> id = QStringLiteral("client-7.apps"),
                        QString secret = QStringLiteral("sec ret&=")) {
  QHash<QString, QString> values{{QStringLiteral("GOOGLE_CLIENT_SECRET"), secret}};
  if (id) values.insert(QStringLiteral("GOOGLE_CLIENT_ID"), *id);
  return BundleInfo(std::move(values));
}

class GoogleSignInTest : public testing::Test {
 protected:
  GoogleSignIn signIn(BundleInfo bundle = clientValues(), LoopbackTiming timing = {}) {
    return GoogleSignIn(network_, std::move(bundle), clock_, &browser_,
                        GoogleSignInOptions{endpoints(), timing});
  }
  GoogleEndpoints endpoints() const {
    return GoogleEndpoints{google_.url(QStringLiteral("/api")), google_.url(QStringLiteral("/accounts")),
                           google_.url()};
  }
  // The port of the redirect the last opened page named.
  quint16 redirectPort() const {
    const QUrl redirect(QUrlQuery(browser_.opened().last()).queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
    return quint16(redirect.port());
  }
  static bool portAccepts(quint16 port) {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    return probe.waitForConnected(1000);
  }
  OAuthCredentials stale() const {
    return OAuthCredentials{QStringLiteral("refresh-old"), QStringLiteral("me@example.com"), QStringLiteral("old"),
                            clock_.now().addSecs(59)};
  }

  test::FakeGoogle google_;
  test::FakeBrowser browser_;
  test::ManualClock clock_;
  QNetworkAccessManager network_;
};

TEST_F(GoogleSignInTest, ASignInRunsThroughTheBrowserAndTheTokenEndpoint) {
  const OAuthCredentials credentials = test::wait(signIn().connect());

  EXPECT_EQ(credentials, (OAuthCredentials{QStringLiteral("refresh-for-the-code"), QString(), QStringLiteral("access-1"),
                                           clock_.now().addSecs(3599)}));
  ASSERT_EQ(browser_.opened().size(), 1);
  const QUrl page = browser_.opened().first();
  EXPECT_EQ(page.path(), QStringLiteral("/accounts/o/oauth2/v2/auth"));
  const QList<QPair<QString, QString>> items = QUrlQuery(page).queryItems(QUrl::FullyDecoded);
  QStringList names;
  for (const auto& item : items) names.append(item.first);
  EXPECT_EQ(names, (QStringList{"client_id", "redirect_uri", "response_type", "scope", "code_challenge",
                                "code_challenge_method", "state", "access_type", "prompt"}));
  const QUrlQuery query(page);
  const auto value = [&](const char* name) { return query.queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded); };
  EXPECT_EQ(value("client_id"), QStringLiteral("client-7.apps"));
  EXPECT_EQ(value("redirect_uri"), QStringLiteral("http://127.0.0.1:%1").arg(redirectPort()));
  EXPECT_EQ(value("response_type"), QStringLiteral("code"));
  EXPECT_EQ(value("scope"), QStringLiteral("https://www.googleapis.com/auth/drive.file"));
  EXPECT_EQ(value("code_challenge_method"), QStringLiteral("S256"));
  EXPECT_EQ(value("access_type"), QStringLiteral("offline"));
  EXPECT_EQ(value("prompt"), QStringLiteral("consent"));
  EXPECT_EQ(value("state").size(), 43);
  ASSERT_TRUE(test::runUntil([&] { return browser_.pages().size() == 1; }));
  EXPECT_TRUE(browser_.pages().first().contains("Parcelmoor is connected. You can close this tab."));

  const auto forms = google_.tokenForms();
  ASSERT_EQ(forms.size(), 1);
  const QMap<QString, QString>& form = forms.first();
  EXPECT_EQ(form.keys(), (QStringList{"client_id", "client_secret", "code", "code_verifier", "grant_type", "redirect_uri"}));
  EXPECT_EQ(form.value(QStringLiteral("client_secret")), QStringLiteral("sec ret&="));
  EXPECT_EQ(form.value(QStringLiteral("code")), QStringLiteral("the-code"));
  EXPECT_EQ(form.value(QStringLiteral("grant_type")), QStringLiteral("authorization_code"));
  EXPECT_EQ(form.value(QStringLiteral("redirect_uri")), value("redirect_uri"));
  EXPECT_EQ(pkceChallenge(form.value(QStringLiteral("code_verifier"))), value("code_challenge"));
  const auto tokenRequest = google_.requests(QStringLiteral("/token")).first();
  EXPECT_EQ(tokenRequest.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
  EXPECT_TRUE(tokenRequest.body.contains("client_secret=sec%20ret%26%3D"));

  EXPECT_FALSE(portAccepts(redirectPort()));
}

TEST_F(GoogleSignInTest, WithoutAClientIdentifierNothingIsOpened) {
  const std::optional<QString> missing[] = {std::nullopt, QString(), QStringLiteral("$(GOOGLE_CLIENT_ID)")};
  for (const auto& id : missing) {
    SCOPED_TRACE(id.value_or(QStringLiteral("<absent>")).toStdString());
    test::LogCapture log;
    EXPECT_EQ(oauthFailureOf(signIn(clientValues(id)).connect()), OAuthFailure::notConfigured());
    EXPECT_FALSE(log.contains(QStringLiteral("waiting for a browser")));
    EXPECT_TRUE(browser_.opened().isEmpty());
    OAuthCredentials fresh = stale();
    fresh.expiresAt = clock_.now().addSecs(3600);
    EXPECT_EQ(oauthFailureOf(signIn(clientValues(id)).refreshed(fresh)), OAuthFailure::notConfigured());
  }
  EXPECT_TRUE(google_.requests().isEmpty());
}

TEST_F(GoogleSignInTest, ARefusalInTheBrowserEndsTheSignInWithItsErrorCode) {
  browser_.answerWithError(QStringLiteral("access_denied"));
  browser_.askForIconFirst(true);
  EXPECT_EQ(oauthFailureOf(signIn().connect()), OAuthFailure::refused(QStringLiteral("access_denied")));
  ASSERT_TRUE(test::runUntil([&] { return browser_.pages().size() == 2; }));
  EXPECT_TRUE(browser_.pages().first().contains("Parcelmoor could not connect this account."));
  EXPECT_TRUE(browser_.pages().last().contains("Parcelmoor could not connect this account."));
  EXPECT_TRUE(google_.tokenForms().isEmpty());
  EXPECT_FALSE(portAccepts(redirectPort()));
}

TEST_F(GoogleSignInTest, NoAnswerFromTheBrowserEndsTheWaitAndClosesThePort) {
  browser_.answerNothing();
  EXPECT_EQ(oauthFailureOf(signIn(clientValues(), LoopbackTiming{50ms, 10s}).connect()), OAuthFailure::noAnswer());
  EXPECT_FALSE(portAccepts(redirectPort()));
}

TEST_F(GoogleSignInTest, TokenEndpointRefusalsCarryGooglesText) {
  const struct {
    int status;
    QByteArray body;
    OAuthFailure failure;
  } table[] = {
      {400, R"({"error":"invalid_grant"})", OAuthFailure::refused(QStringLiteral("invalid_grant"))},
      {400, R"({"error":"invalid_grant","error_description":"Bad Request"})", OAuthFailure::refused(QStringLiteral("Bad Request"))},
      {400, "<html>no</html>", OAuthFailure::refused(QStringLiteral("Google refused the sign-in."))},
      {401, R"({"error_description":7,"error":"x"})", OAuthFailure::refused(QStringLiteral("Google refused the sign-in."))},
      {200, R"({"token":"x"})", OAuthFailure::badResponse()},
      {200, "not json", OAuthFailure::badResponse()},
      {201, R"({"access_token":"a","expires_in":5})", OAuthFailure::refused(QStringLiteral("Google refused the sign-in."))},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.body.toStdString());
    test::LogCapture log;
    google_.script("POST", QStringLiteral("/token"), {row.status, row.body, {}, {}});
    EXPECT_EQ(oauthFailureOf(signIn().refreshed(stale())), row.failure);
    EXPECT_EQ(log.contains(QStringLiteral("token endpoint refused: %1").arg(row.status)), row.status != 200);
  }
}

TEST_F(GoogleSignInTest, ACodeExchangeWithoutRefreshTokenIsUnusable) {
  google_.script("POST", QStringLiteral("/token"), {200, R"({"access_token":"a","expires_in":3599})", {}, {}});
  EXPECT_EQ(oauthFailureOf(signIn().connect()), OAuthFailure::badResponse());
  EXPECT_FALSE(portAccepts(redirectPort()));
}

TEST_F(GoogleSignInTest, RenewalKeepsTheRefreshTokenUnlessGoogleSendsANewOne) {
  OAuthCredentials fresh = stale();
  fresh.expiresAt = clock_.now().addSecs(61);
  EXPECT_EQ(test::wait(signIn().refreshed(fresh)), fresh);
  EXPECT_TRUE(google_.requests().isEmpty());

  const OAuthCredentials renewed = test::wait(signIn().refreshed(stale()));
  EXPECT_EQ(renewed, (OAuthCredentials{QStringLiteral("refresh-old"), QStringLiteral("me@example.com"),
                                       QStringLiteral("renewed-1"), clock_.now().addSecs(3599)}));
  const QMap<QString, QString> form = google_.tokenForms().first();
  EXPECT_EQ(form, (QMap<QString, QString>{{"client_id", "client-7.apps"},
                                          {"client_secret", "sec ret&="},
                                          {"grant_type", "refresh_token"},
                                          {"refresh_token", "refresh-old"}}));

  google_.script("POST", QStringLiteral("/token"),
                 {200, R"({"access_token":"a2","expires_in":60,"refresh_token":"rotated"})", {}, {}});
  EXPECT_EQ(test::wait(signIn().refreshed(stale())).refreshToken, QStringLiteral("rotated"));
}

}  // namespace
}  // namespace pm
