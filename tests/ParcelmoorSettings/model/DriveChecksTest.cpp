#include <QNetworkAccessManager>
#include <QUrlQuery>

#include <httplib.h>

#include <gtest/gtest.h>

#include <mutex>

#include "QStringPrinting.h"
#include "connectors/GoogleSignIn.h"
#include "connectors/OAuthCredentials.h"
#include "connectors/OAuthFailure.h"
#include "model/DropboxConnection.h"
#include "model/DropboxTokenRenewal.h"
#include "model/GoogleDriveConnection.h"
#include "model/OneDriveConnection.h"
#include "platform/Keychain.h"
#include "support/FakeGoogle.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;

// A drive API that gives one scripted answer to everything and remembers what it was asked.
class ScriptedApi {
 public:
  struct Request {
    std::string method;
    std::string target;
    std::string authorization;
    std::string body;
  };

  void answer(int status, QByteArray body) {
    const std::lock_guard lock(mutex_);
    status_ = status;
    body_ = std::move(body);
  }
  std::vector<Request> requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
  }
  QUrl url() const { return server_.url(); }

 private:
  mutable std::mutex mutex_;
  int status_ = 200;
  QByteArray body_ = "{}";
  std::vector<Request> requests_;
  test::LocalHttpServer server_{[this](const httplib::Request& request, httplib::Response& response) {
    const std::lock_guard lock(mutex_);
    requests_.push_back(
        {request.method, request.target, request.get_header_value("Authorization"), request.body});
    response.status = status_;
    response.set_content(body_.toStdString(), "application/json");
  }};
};

// A provider's token renewal that counts its calls and hands out a token valid for an hour.
class CountingRenewal final : public TokenRenewal {
 public:
  explicit CountingRenewal(const Clock& clock) : clock_(clock) {}

  QCoro::Task<OAuthCredentials> refreshed(OAuthCredentials credentials) const override {
    ++calls;
    credentials.accessToken = QStringLiteral("renewed-%1").arg(calls);
    credentials.expiresAt = clock_.now().addSecs(3600);
    co_return credentials;
  }

  mutable int calls = 0;

 private:
  const Clock& clock_;
};

class DriveChecks : public ::testing::Test {
 protected:
  UploaderConfig connection(Kind kind, OAuthProvider provider, const QString& refreshToken, qint64 validFor) {
    UploaderConfig config(kind);
    config.account = QStringLiteral("a@example.com");
    OAuthCredentials::save(keychain,
                           OAuthCredentials{refreshToken, config.account, QStringLiteral("stored-access"),
                                            clock.now().addSecs(validFor)},
                           config.id, provider);
    return config;
  }
  std::optional<QString> check(const UploaderConfig& config, const DriveAccount& account) {
    return test::wait(testDriveConnection(config, account, keychain, clock));
  }

  test::ManualClock clock;
  MemoryKeychain keychain;
  QNetworkAccessManager network;
};

class GoogleDriveCheck : public DriveChecks {
 protected:
  GoogleSignIn signIn(QHash<QString, QString> values = {
                          {QStringLiteral("GOOGLE_CLIENT_ID"), QStringLiteral("client-7")},
                          {QStringLiteral("GOOGLE_CLIENT_SECRET"), QStringLiteral("s")}}) {
    return GoogleSignIn(
        network, BundleInfo(std::move(values)), clock, nullptr,
        GoogleSignInOptions{GoogleEndpoints{google.url(QStringLiteral("/api")),
                                            google.url(QStringLiteral("/accounts")), google.url()},
                            {}});
  }

  test::FakeGoogle google;
};

TEST_F(GoogleDriveCheck, AStaleTokenIsRenewedAndStoredOnceThenTheAccountIsAsked) {
  const UploaderConfig config =
      connection(Kind::googleDrive, OAuthProvider::google, QStringLiteral("refresh-1"), 60);
  const GoogleSignIn google_ = signIn();
  const GoogleDriveConnection account(google_);

  EXPECT_EQ(check(config, account), std::nullopt);
  EXPECT_EQ(check(config, account), std::nullopt);

  const QList<test::FakeGoogle::Request> requests = google.requests();
  ASSERT_EQ(requests.size(), 3);
  EXPECT_EQ(requests[0].path, QStringLiteral("/token"));
  EXPECT_EQ(requests[1].target, QStringLiteral("/api/drive/v3/about?fields=user(emailAddress)"));
  EXPECT_EQ(requests[1].header("Authorization"), "Bearer renewed-1");
  EXPECT_EQ(requests[2].header("Authorization"), "Bearer renewed-1");
  const auto stored = OAuthCredentials::load(keychain, config.id, OAuthProvider::google);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->accessToken, QStringLiteral("renewed-1"));
  EXPECT_EQ(stored->refreshToken, QStringLiteral("refresh-1"));  // the answer carried none
  EXPECT_EQ(stored->expiresAt, clock.now().addSecs(3599));
}

TEST_F(GoogleDriveCheck, TheTokenEndpointsRefusalsLeaveTheStoredTokensAlone) {
  struct Case {
    int status;
    QByteArray body;
    const char* result;
  };
  const Case cases[] = {
      // Only 200 gives tokens; a 201 that carries them is still a refusal.
      {201, R"({"access_token":"new","expires_in":3600})", "Google refused the sign-in."},
      {400, R"({"error":"invalid_grant","error_description":"Token has been expired or revoked."})",
       "Token has been expired or revoked."},
      {400, R"({"error":"invalid_grant"})", "invalid_grant"},
      {200, R"({"access_token":"new"})", "The answer could not be read."},
  };
  const GoogleSignIn google_ = signIn();
  const GoogleDriveConnection account(google_);
  for (const Case& c : cases) {
    const UploaderConfig config =
        connection(Kind::googleDrive, OAuthProvider::google, QStringLiteral("r"), 0);
    const auto before = OAuthCredentials::load(keychain, config.id, OAuthProvider::google);
    google.script("POST", QStringLiteral("/token"), {c.status, c.body, {}, {}});

    EXPECT_EQ(check(config, account), QString::fromUtf8(c.result)) << c.body.toStdString();
    EXPECT_EQ(OAuthCredentials::load(keychain, config.id, OAuthProvider::google), before);
  }
  EXPECT_TRUE(google.requests(QStringLiteral("/api")).isEmpty());
}

TEST_F(GoogleDriveCheck, ABuildWithoutAClientIdentifierCannotRenew) {
  const UploaderConfig config = connection(Kind::googleDrive, OAuthProvider::google, QStringLiteral("r"), 0);
  const GoogleSignIn google_ = signIn({});
  const GoogleDriveConnection account(google_);

  EXPECT_EQ(check(config, account),
            QStringLiteral("This build cannot connect an account: it was made without a client id."));
  EXPECT_TRUE(google.requests().isEmpty());
}

TEST_F(GoogleDriveCheck, ARefusedAccountRequestShowsDrivesWords) {
  const UploaderConfig config =
      connection(Kind::googleDrive, OAuthProvider::google, QStringLiteral("r"), 3600);
  const GoogleSignIn google_ = signIn();
  const GoogleDriveConnection account(google_);
  google.script("GET", QStringLiteral("/api/drive/v3/about"),
                {403, R"({"error":{"message":"Drive API has not been used in project 7."}})", {}, {}});

  EXPECT_EQ(check(config, account), QStringLiteral("Drive API has not been used in project 7."));
}

TEST_F(DriveChecks, NoStoredRefreshTokenMakesNoRequest) {
  ScriptedApi api;
  CountingRenewal renewal(clock);
  const OneDriveConnection oneDrive(network, renewal, api.url());
  const DropboxConnection dropbox(network, renewal, api.url());
  const UploaderConfig emptyToken = connection(Kind::dropbox, OAuthProvider::dropbox, QString(), 0);
  const UploaderConfig nothingStored(Kind::oneDrive);

  EXPECT_EQ(check(emptyToken, dropbox), QStringLiteral("This connection has no Dropbox account yet."));
  EXPECT_EQ(check(nothingStored, oneDrive), QStringLiteral("This connection has no Microsoft account yet."));
  EXPECT_EQ(renewal.calls, 0);
  EXPECT_TRUE(api.requests().empty());
}

TEST_F(DriveChecks, OneDriveMustNameTheApplicationsFolder) {
  ScriptedApi api;
  CountingRenewal renewal(clock);
  const OneDriveConnection oneDrive(network, renewal, api.url());
  const UploaderConfig config = connection(Kind::oneDrive, OAuthProvider::microsoft, QStringLiteral("r"), 30);

  api.answer(200, R"({"id":"01ABC"})");
  EXPECT_EQ(check(config, oneDrive), std::nullopt);
  api.answer(200, R"({"name":"Apps"})");
  EXPECT_EQ(check(config, oneDrive), QStringLiteral("OneDrive sent an answer we could not read."));
  api.answer(200, R"({"id":""})");
  EXPECT_EQ(check(config, oneDrive), QStringLiteral("OneDrive sent an answer we could not read."));

  EXPECT_EQ(renewal.calls, 1);
  const auto requests = api.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/v1.0/me/drive/special/approot?$select=id");
  EXPECT_EQ(requests[0].authorization, "Bearer renewed-1");
}

TEST_F(DriveChecks, DropboxAsksForTheCurrentAccountWithAnEmptyPost) {
  ScriptedApi api;
  CountingRenewal renewal(clock);
  const DropboxConnection dropbox(network, renewal, api.url());
  const UploaderConfig config = connection(Kind::dropbox, OAuthProvider::dropbox, QStringLiteral("r"), 3600);
  api.answer(200, R"({"name":{"display_name":"Ada"}})");

  EXPECT_EQ(check(config, dropbox), std::nullopt);
  EXPECT_EQ(test::wait(dropbox.accountLabel(QStringLiteral("t"))), QStringLiteral("Ada"));
  api.answer(200, R"({"email":"ada@example.com","name":{"display_name":"Ada"}})");
  EXPECT_EQ(test::wait(dropbox.accountLabel(QStringLiteral("t"))), QStringLiteral("ada@example.com"));
  api.answer(409, R"({"error_summary":"path/not_found/.."})");
  EXPECT_EQ(check(config, dropbox), QStringLiteral("Dropbox refused the upload: path/not_found"));

  EXPECT_EQ(renewal.calls, 0);
  const auto requests = api.requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/2/users/get_current_account");
  EXPECT_EQ(requests[0].authorization, "Bearer stored-access");
  EXPECT_EQ(requests[0].body, "");
}

// Dropbox's renewal at its own token endpoint, as the settings program runs it: what goes out, what is
// stored, and the texts a refusal shows.
TEST_F(DriveChecks, DropboxRenewsAStaleTokenAtItsTokenEndpoint) {
  struct Case {
    int status;
    QByteArray body;
    std::optional<QString> result;
    bool renewed;
  };
  const Case cases[] = {
      // One answer serves the renewal and the account request alike.
      {200, R"({"access_token":"fresh","expires_in":3600,"refresh_token":"r2","email":"ada@example.com"})",
       std::nullopt, true},
      // Only 200 gives tokens.
      {201, R"({"access_token":"fresh","expires_in":3600})", QStringLiteral("Dropbox refused the sign-in."),
       false},
      {400, R"({"error":"invalid_grant","error_description":"refresh token is malformed"})",
       QStringLiteral("refresh token is malformed"), false},
      {400, R"({"error":"invalid_grant"})", QStringLiteral("invalid_grant"), false},
      {401, "", QStringLiteral("Dropbox refused the sign-in."), false},
      {200, R"({"expires_in":3600})", QStringLiteral("The answer could not be read."), false},
  };
  ScriptedApi api;
  const DropboxTokenRenewal renewal(network, BundleInfo({{QStringLiteral("DROPBOX_APP_KEY"), QStringLiteral("key-9")}}),
                                    clock, api.url());
  const DropboxConnection dropbox(network, renewal, api.url());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.toStdString());
    const UploaderConfig config = connection(Kind::dropbox, OAuthProvider::dropbox, QStringLiteral("r1"), 30);
    const auto before = OAuthCredentials::load(keychain, config.id, OAuthProvider::dropbox);
    const std::size_t asked = api.requests().size();
    api.answer(c.status, c.body);

    EXPECT_EQ(check(config, dropbox), c.result);

    const auto requests = api.requests();
    ASSERT_GT(requests.size(), asked);
    const ScriptedApi::Request& renewing = requests[asked];
    EXPECT_EQ(renewing.method, "POST");
    EXPECT_EQ(renewing.target, "/oauth2/token");
    const QUrlQuery form(QString::fromStdString(renewing.body));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("grant_type")), QStringLiteral("refresh_token"));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("refresh_token")), QStringLiteral("r1"));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("client_id")), QStringLiteral("key-9"));
    const auto stored = OAuthCredentials::load(keychain, config.id, OAuthProvider::dropbox);
    ASSERT_TRUE(stored);
    if (c.renewed) {
      EXPECT_EQ(stored->accessToken, QStringLiteral("fresh"));
      EXPECT_EQ(stored->refreshToken, QStringLiteral("r2"));
      ASSERT_EQ(requests.size(), asked + 2);
      EXPECT_EQ(requests[asked + 1].authorization, "Bearer fresh");
    } else {
      // A refused renewal keeps what was stored and asks nothing of the account.
      EXPECT_EQ(stored, before);
      EXPECT_EQ(requests.size(), asked + 1);
    }
  }
}

TEST_F(DriveChecks, DropboxCannotRenewWithoutTheBuildsAppKey) {
  ScriptedApi api;
  const DropboxTokenRenewal renewal(network, BundleInfo({}), clock, api.url());
  const DropboxConnection dropbox(network, renewal, api.url());
  const UploaderConfig config = connection(Kind::dropbox, OAuthProvider::dropbox, QStringLiteral("r1"), 0);

  EXPECT_EQ(check(config, dropbox),
            QStringLiteral("This build cannot connect an account: it was made without a client id."));
  EXPECT_TRUE(api.requests().empty());
}

TEST(DriveFailureTexts, GoogleAndMicrosoftSayConnectAgainForA401AndTheBodysWordsOtherwise) {
  const QByteArray withMessage = R"({"error":{"message":"Insufficient permissions."}})";
  struct Case {
    int status;
    QByteArray body;
    const char* google;
    const char* microsoft;
  };
  const Case cases[] = {
      {401, withMessage, "Google refused this account. Connect it again.",
       "Microsoft refused this account. Connect it again."},
      {403, withMessage, "Insufficient permissions.", "Insufficient permissions."},
      {403, "", "Google refused this account. Connect it again.",
       "Microsoft refused this account. Connect it again."},
      {429, withMessage, "Insufficient permissions.", "Insufficient permissions."},
      {500, "<html>", "Google Drive refused the upload (500).", "OneDrive refused the upload (500)."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GoogleDriveConnection::failure(c.status, c.body), QString::fromUtf8(c.google)) << c.status;
    EXPECT_EQ(OneDriveConnection::failure(c.status, c.body), QString::fromUtf8(c.microsoft)) << c.status;
  }
}

TEST(DriveFailureTexts, DropboxTrimsItsSummary) {
  struct Case {
    int status;
    QByteArray body;
    const char* text;
  };
  const Case cases[] = {
      {507, R"({"error_summary":"insufficient_space/"})", "This Dropbox is full."},
      {401, R"({"error_summary":"invalid_access_token/"})",
       "Dropbox refused this account. Connect it again."},
      {409, R"({"error_summary":"path/conflict/file/.."})", "Dropbox refused the upload: path/conflict/file"},
      {409, R"({"error_summary":" ./too_many_write_operations/ "})",
       "Dropbox refused the upload: too_many_write_operations"},
      {409, R"({"error_summary":"/./"})", "Dropbox refused the upload (409)."},
      {400, "Error in call to API function", "Dropbox refused the upload (400)."},
      {0, "", "Dropbox refused the upload (0)."},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DropboxConnection::failure(c.status, c.body), QString::fromUtf8(c.text))
        << c.body.toStdString();
}

}  // namespace
}  // namespace pm::settings
