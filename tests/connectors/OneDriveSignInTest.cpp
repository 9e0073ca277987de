#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QTimer>
#include <QUrlQuery>

#include "OAuthFailureTesting.h"
#include "connectors/OAuthCallback.h"
#include "connectors/OAuthFailure.h"
#include "connectors/OneDriveSignIn.h"
#include "connectors/Pkce.h"
#include "platform/Workspace.h"
#include "support/FakeMicrosoft.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::oauthFailureOf;

BundleInfo clientValues(std::optional<QString> id = QStringLiteral("client-9")) {
  QHash<QString, QString> values;
  if (id) values.insert(QStringLiteral("MICROSOFT_CLIENT_ID"), *id);
  return BundleInfo(std::move(values));
}

// The user's browser during a sign-in whose redirect comes back as an opened parcelmoor:// URL: it records
// the page and, like the desktop handing the redirect to the agent, offers the callback the redirect with
// the page's state and the scripted query.
class RedirectingBrowser final : public Workspace {
 public:
  explicit RedirectingBrowser(OAuthCallback& callback) : callback_(callback) {}

  bool openUrl(const QUrl& url) override {
    opened.append(url);
    if (answer.isEmpty()) return true;
    const QUrlQuery page(url);
    const QString redirect = page.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded) +
                             QStringLiteral("?state=") + page.queryItemValue(QStringLiteral("state")) +
                             QLatin1Char('&') + answer;
    QTimer::singleShot(0, &callback_, [this, redirect] { accepted.append(callback_.handle(redirect)); });
    return true;
  }
  bool openApplication(const QString&) override { return false; }
  void activateApplication() override {}

  QString answer = QStringLiteral("code=the-code");  // empty: the browser never comes back
  QList<QUrl> opened;
  QList<bool> accepted;

 private:
  OAuthCallback& callback_;
};

class OneDriveSignInTest : public testing::Test {
 protected:
  OneDriveSignIn signIn(BundleInfo bundle = clientValues(), std::chrono::milliseconds wait = 300s) {
    return OneDriveSignIn(
        network_, std::move(bundle), clock_, &callback_, &browser_,
        OneDriveSignInOptions{{microsoft_.url(QStringLiteral("/v1.0/")), microsoft_.url()}, wait});
  }
  OAuthCredentials stale() const {
    return OAuthCredentials{QStringLiteral("refresh-old"), QStringLiteral("ada@outlook.com"),
                            QStringLiteral("old"), clock_.now().addSecs(59)};
  }

  test::FakeMicrosoft microsoft_;
  test::ManualClock clock_;
  QNetworkAccessManager network_;
  OAuthCallback callback_;
  RedirectingBrowser browser_{callback_};
};

TEST_F(OneDriveSignInTest, ASignInRunsThroughTheBrowserTheRedirectAndTheTokenEndpoint) {
  test::LogCapture log;
  const OAuthCredentials credentials = test::wait(signIn().connect());

  EXPECT_EQ(credentials,
            (OAuthCredentials{QStringLiteral("refresh-for-the-code"), QStringLiteral("ada@outlook.com"),
                              QStringLiteral("access-1"), clock_.now().addSecs(3599)}));
  EXPECT_EQ(browser_.accepted, QList<bool>{true});
  EXPECT_TRUE(
      log.contains(QStringLiteral("waiting for the browser to come back to parcelmoor://oauth/onedrive")));
  ASSERT_EQ(browser_.opened.size(), 1);
  const QUrl page = browser_.opened.first();
  EXPECT_EQ(page.path(), QStringLiteral("/common/oauth2/v2.0/authorize"));
  QStringList names;
  for (const auto& item : QUrlQuery(page).queryItems()) names.append(item.first);
  EXPECT_EQ(names, (QStringList{"client_id", "redirect_uri", "response_type", "scope", "code_challenge",
                                "code_challenge_method", "state", "prompt"}));
  const QString raw = page.query(QUrl::FullyEncoded);
  EXPECT_TRUE(raw.startsWith(
      QStringLiteral("client_id=client-9&redirect_uri=parcelmoor://oauth/onedrive&response_type=code&"
                     "scope=Files.ReadWrite.AppFolder%20offline_access%20openid%20profile%20email&")))
      << raw.toStdString();
  const QUrlQuery query(page);
  EXPECT_EQ(query.queryItemValue(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
  EXPECT_EQ(query.queryItemValue(QStringLiteral("prompt")), QStringLiteral("select_account"));
  EXPECT_EQ(query.queryItemValue(QStringLiteral("state")).size(), 43);

  const auto forms = microsoft_.tokenForms();
  ASSERT_EQ(forms.size(), 1);
  const QMap<QString, QString>& form = forms.first();
  EXPECT_EQ(form.keys(),
            (QStringList{"client_id", "code", "code_verifier", "grant_type", "redirect_uri", "scope"}));
  EXPECT_EQ(form.value(QStringLiteral("code")), QStringLiteral("the-code"));
  EXPECT_EQ(form.value(QStringLiteral("grant_type")), QStringLiteral("authorization_code"));
  EXPECT_EQ(form.value(QStringLiteral("redirect_uri")), QStringLiteral("parcelmoor://oauth/onedrive"));
  EXPECT_EQ(form.value(QStringLiteral("scope")), OneDriveSignIn::scope());
  EXPECT_EQ(pkceChallenge(form.value(QStringLiteral("code_verifier"))),
            query.queryItemValue(QStringLiteral("code_challenge")));
  const auto request = microsoft_.requests(QStringLiteral("/common/oauth2/v2.0/token")).first();
  EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_TRUE(request.body.contains("scope=Files.ReadWrite.AppFolder%20offline_access"));
  EXPECT_TRUE(request.body.contains("redirect_uri=parcelmoor%3A%2F%2Foauth%2Fonedrive"));
}

TEST_F(OneDriveSignInTest, WithoutAClientIdentifierNothingHappens) {
  const std::optional<QString> missing[] = {std::nullopt, QString(),
                                            QStringLiteral("$(MICROSOFT_CLIENT_ID)")};
  for (const auto& id : missing) {
    SCOPED_TRACE(id.value_or(QStringLiteral("<absent>")).toStdString());
    test::LogCapture log;
    EXPECT_EQ(oauthFailureOf(signIn(clientValues(id)).connect()), OAuthFailure::notConfigured());
    EXPECT_TRUE(log.lines().isEmpty());
    OAuthCredentials fresh = stale();
    fresh.expiresAt = clock_.now().addSecs(3600);
    EXPECT_EQ(oauthFailureOf(signIn(clientValues(id)).refreshed(fresh)), OAuthFailure::notConfigured());
  }
  EXPECT_TRUE(browser_.opened.isEmpty());
  EXPECT_FALSE(callback_.isWaiting());
  EXPECT_TRUE(microsoft_.requests().isEmpty());
}

TEST_F(OneDriveSignInTest, ARefusedOrMissingRedirectEndsTheSignInBeforeAnyTokenRequest) {
  browser_.answer = QStringLiteral("error=access_denied&error_description=The%20user%20said%20no");
  EXPECT_EQ(oauthFailureOf(signIn().connect()), OAuthFailure::refused(QStringLiteral("The user said no")));
  browser_.answer.clear();
  EXPECT_EQ(oauthFailureOf(signIn(clientValues(), 50ms).connect()), OAuthFailure::noAnswer());
  EXPECT_FALSE(callback_.isWaiting());
  EXPECT_TRUE(microsoft_.tokenForms().isEmpty());
}

TEST_F(OneDriveSignInTest, OnlyA200IsATokenAnswer) {
  const QString fallback = QStringLiteral("Microsoft refused the sign-in.");
  const struct {
    int status;
    QByteArray body;
    OAuthFailure failure;
  } table[] = {
      {201, R"({"access_token":"a","expires_in":5,"refresh_token":"r"})", OAuthFailure::refused(fallback)},
      {204, {}, OAuthFailure::refused(fallback)},
      {400, R"({"error":"invalid_grant"})", OAuthFailure::refused(QStringLiteral("invalid_grant"))},
      {400, R"({"error":"invalid_grant","error_description":"AADSTS70000: expired"})",
       OAuthFailure::refused(QStringLiteral("AADSTS70000: expired"))},
      {400, {}, OAuthFailure::refused(fallback)},
      {400, R"(["error"])", OAuthFailure::refused(fallback)},
      {401, R"({"error_description":7,"error":"x"})", OAuthFailure::refused(fallback)},
      {200, R"({"expires_in":3599,"refresh_token":"r"})", OAuthFailure::badResponse()},
      {200, R"({"access_token":"a","refresh_token":"r"})", OAuthFailure::badResponse()},
      {200, "not json", OAuthFailure::badResponse()},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.status);
    SCOPED_TRACE(row.body.toStdString());
    test::LogCapture log;
    microsoft_.script("POST", QStringLiteral("/common/oauth2/v2.0/token"), {row.status, row.body, {}, {}});
    EXPECT_EQ(oauthFailureOf(signIn().refreshed(stale())), row.failure);
    EXPECT_EQ(log.contains(QStringLiteral("token endpoint refused: %1").arg(row.status)), row.status != 200);
  }
}

TEST_F(OneDriveSignInTest, ACodeExchangeWithoutRefreshTokenIsUnusable) {
  microsoft_.script("POST", QStringLiteral("/common/oauth2/v2.0/token"),
                    {200, R"({"access_token":"a","expires_in":3599,"id_token":"x.e30.y"})", {}, {}});
  EXPECT_EQ(oauthFailureOf(signIn().connect()), OAuthFailure::badResponse());
}

TEST_F(OneDriveSignInTest, AnExchangeWithoutIdentityTokenHasNoLabel) {
  microsoft_.setIDTokenClaims(std::nullopt);
  EXPECT_EQ(test::wait(signIn().connect()).account, QString());
}

TEST_F(OneDriveSignInTest, RenewalKeepsTheRefreshTokenAndAccountUnlessMicrosoftSendsANewToken) {
  OAuthCredentials fresh = stale();
  fresh.expiresAt = clock_.now().addSecs(61);
  EXPECT_EQ(test::wait(signIn().refreshed(fresh)), fresh);
  EXPECT_TRUE(microsoft_.requests().isEmpty());

  const OAuthCredentials renewed = test::wait(signIn().refreshed(stale()));
  EXPECT_EQ(renewed, (OAuthCredentials{QStringLiteral("refresh-old"), QStringLiteral("ada@outlook.com"),
                                       QStringLiteral("renewed-1"), clock_.now().addSecs(3599)}));
  EXPECT_EQ(microsoft_.tokenForms().first(), (QMap<QString, QString>{{"client_id", "client-9"},
                                                                     {"grant_type", "refresh_token"},
                                                                     {"refresh_token", "refresh-old"},
                                                                     {"scope", OneDriveSignIn::scope()}}));

  OAuthCredentials noAccessToken = fresh;
  noAccessToken.accessToken.clear();
  noAccessToken.expiresAt = clock_.now().addSecs(86400);
  EXPECT_EQ(test::wait(signIn().refreshed(noAccessToken)).accessToken, QStringLiteral("renewed-2"));

  microsoft_.script("POST", QStringLiteral("/common/oauth2/v2.0/token"),
                    {200, R"({"access_token":"a3","expires_in":60,"refresh_token":"rotated"})", {}, {}});
  EXPECT_EQ(test::wait(signIn().refreshed(stale())).refreshToken, QStringLiteral("rotated"));
}

TEST(OneDriveAccountLabel, ComesFromTheIdentityTokensClaims) {
  const auto token = [](const QByteArray& claims) {
    return QStringLiteral("eyJhbGciOiJSUzI1NiJ9.") +
           QString::fromLatin1(
               claims.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)) +
           QStringLiteral(".sig");
  };
  const struct {
    const char* name;
    QString idToken;
    QString label;
  } table[] = {
      {"preferred username first",
       token(R"({"name":"Ada","email":"a@x.org","preferred_username":"ada@outlook.com"})"),
       QStringLiteral("ada@outlook.com")},
      {"email only", token(R"({"email":"a@x.org"})"), QStringLiteral("a@x.org")},
      {"name last", token(R"({"name":"Ada L."})"), QStringLiteral("Ada L.")},
      {"numeric preferred username", token(R"({"preferred_username":42,"email":"a@x.org"})"), QString()},
      {"no claim", token(R"({"sub":"x"})"), QString()},
      {"claims not an object", token(R"(["a@x.org"])"), QString()},
      {"no dots", QStringLiteral("eyJlbWFpbCI6ImFAeC5vcmcifQ"), QString()},
      {"empty pieces dropped", QStringLiteral("..") + token(R"({"email":"a@x.org"})"),
       QStringLiteral("a@x.org")},
      {"claims not base64", QStringLiteral("a.!!!!.c"), QString()},
      // 18 and 19 characters of claims: padded with two and one "=".
      {"remainder 2", token(R"({"email":"é@x"})"), QStringLiteral("é@x")},
      {"remainder 3", token(R"({"email":"é@xy"})"), QStringLiteral("é@xy")},
      {"url-safe alphabet", token(R"({"email":"??>>"})"), QStringLiteral("?\?>>")},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(OneDriveSignIn::accountLabel(row.idToken), row.label);
  }
  const QString claims2 = token(R"({"email":"é@x"})").section(QLatin1Char('.'), 1, 1);
  const QString claims3 = token(R"({"email":"é@xy"})").section(QLatin1Char('.'), 1, 1);
  EXPECT_EQ(claims2.size() % 4, 2);
  EXPECT_EQ(claims3.size() % 4, 3);
  const QString safe = token(R"({"email":"??>>"})").section(QLatin1Char('.'), 1, 1);
  EXPECT_TRUE(safe.contains(QLatin1Char('_')) || safe.contains(QLatin1Char('-')));
}

}  // namespace
}  // namespace pm
