#include <QJsonObject>

#include <QCoroTask>

#include <gtest/gtest.h>

#include "core/BillingPortal.h"
#include "core/DeviceFlow.h"
#include "core/JsonDecoding.h"
#include "core/UploadError.h"
#include "support/LogCapture.h"
#include "support/ServiceHarness.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using test::FakeService;
using Reply = FakeService::Reply;
using PollResult = DeviceFlow::PollResult;

const QString kToken = QStringLiteral("auth/device/token");

struct DeviceFlowTest : ::testing::Test {
  test::ServiceHarness harness;
  DeviceFlow flow{harness.api};
  test::LogCapture log;
  ParcelmoorAPI unreachable{harness.network, harness.keychain, harness.unreachableOptions()};
};

TEST_F(DeviceFlowTest, RequestCodeSendsTheClientAndDecodesTheAnswer) {
  harness.service.setCodeTiming(600, 5);
  const DeviceFlow::Code code = test::wait(flow.requestCode());
  EXPECT_TRUE(code.deviceCode.startsWith(QLatin1String("device-")));
  EXPECT_EQ(code.verificationUriComplete, code.verificationUri + QStringLiteral("?user_code=") + code.userCode);
  EXPECT_EQ(code.expiresIn, 600);
  EXPECT_EQ(code.interval, 5);
  EXPECT_TRUE(log.contains(QStringLiteral("device code %1: valid 600s, poll every 5s").arg(code.userCode)));

  const auto request = harness.service.requests().last();
  EXPECT_EQ(request.target, QStringLiteral("/api/auth/device/code"));
  EXPECT_EQ(request.json(), (QJsonObject{{QStringLiteral("client_id"), QStringLiteral("com.wrenfold.Parcelmoor")}}));
  EXPECT_FALSE(request.headers.contains("authorization"));
}

TEST_F(DeviceFlowTest, RequestCodeFailures) {
  harness.service.script("POST", QStringLiteral("auth/device/code"),
                         Reply::json({{QStringLiteral("device_code"), QStringLiteral("d")},
                                      {QStringLiteral("user_code"), QStringLiteral("U")},
                                      {QStringLiteral("verification_uri"), QStringLiteral("https://x.invalid/d")},
                                      {QStringLiteral("expires_in"), 600},
                                      {QStringLiteral("interval"), 5}}));
  EXPECT_THROW(test::wait(flow.requestCode()), JsonDecodingError);
  EXPECT_TRUE(log.lines().isEmpty()) << "an undecodable code is not logged";

  harness.service.script("POST", QStringLiteral("auth/device/code"), Reply::raw(503, "down"));
  EXPECT_THROW(test::wait(flow.requestCode()), UploadError);
  EXPECT_TRUE(log.contains(QStringLiteral("device code refused: HTTP 503")));
}

TEST_F(DeviceFlowTest, PollAnswers) {
  const struct {
    Reply reply;
    PollResult expected;
    const char* logged;
  } table[] = {
      {Reply::json({{QStringLiteral("access_token"), QStringLiteral("t1")}, {QStringLiteral("error"), QStringLiteral("slow_down")}}),
       PollResult::approved(QStringLiteral("t1")), "approved; session valid 0s"},
      {Reply::json({{QStringLiteral("access_token"), QStringLiteral("t2")}, {QStringLiteral("expires_in"), 3600}}),
       PollResult::approved(QStringLiteral("t2")), "approved; session valid 3600s"},
      {Reply::error(400, QStringLiteral("authorization_pending")), PollResult::pending(), nullptr},
      {Reply::error(400, QStringLiteral("invalid_grant")), PollResult::pending(), "unexpected poll response: HTTP 400 invalid_grant"},
      {Reply::json({}), PollResult::pending(), "unexpected poll response: HTTP 200 no error field"},
      {Reply::error(400, QStringLiteral("slow_down")), PollResult::slowDown(), "polling too fast"},
      {Reply::error(400, QStringLiteral("access_denied")), PollResult::denied(), "refused in the browser"},
      {Reply::error(400, QStringLiteral("expired_token")), PollResult::expired(), "code expired"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.reply.body.constData());
    log.clear();
    harness.service.script("POST", kToken, row.reply);
    EXPECT_EQ(test::wait(flow.poll(QStringLiteral("dc"))), row.expected);
    if (row.logged) {
      EXPECT_TRUE(log.contains(QString::fromLatin1(row.logged)));
    } else {
      EXPECT_TRUE(log.lines().isEmpty());
    }
  }
  const auto request = harness.service.requests().last();
  EXPECT_EQ(request.json(),
            (QJsonObject{{QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")},
                         {QStringLiteral("device_code"), QStringLiteral("dc")},
                         {QStringLiteral("client_id"), QStringLiteral("com.wrenfold.Parcelmoor")}}));
}

TEST_F(DeviceFlowTest, PollThrowsForAnAnswerThatIsNoTokenResponse) {
  harness.service.script("POST", kToken, Reply::raw(502, "<html>Bad gateway</html>", "text/html"));
  EXPECT_THROW(test::wait(flow.poll(QStringLiteral("dc"))), JsonDecodingError);
  harness.service.script("POST", kToken, Reply::json({{QStringLiteral("access_token"), 42}}));
  EXPECT_THROW(test::wait(flow.poll(QStringLiteral("dc"))), JsonDecodingError);
}

TEST_F(DeviceFlowTest, SessionAnswers) {
  const QString path = QStringLiteral("auth/get-session");
  const struct {
    Reply reply;
    std::optional<QString> email;
    const char* logged;
  } table[] = {
      {Reply::json({{QStringLiteral("user"), QJsonObject{{QStringLiteral("email"), QStringLiteral("ada@example.com")}}}}),
       QStringLiteral("ada@example.com"), nullptr},
      {Reply::raw(200, R"({"user":null})", "application/json"), std::nullopt, "no session: the token belongs to nobody"},
      {Reply::json({{QStringLiteral("user"), QJsonObject{}}}), std::nullopt, "no session: the token belongs to nobody"},
      {Reply::error(401, QStringLiteral("UNAUTHORIZED")), std::nullopt, "session refused"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.reply.body.constData());
    log.clear();
    harness.service.script("GET", path, row.reply);
    EXPECT_EQ(test::wait(flow.session(QStringLiteral("tok"))), row.email);
    if (row.logged) {
      EXPECT_TRUE(log.contains(QString::fromLatin1(row.logged)));
    }
  }
  EXPECT_EQ(harness.service.requests().last().header("authorization"), "Bearer tok");

  harness.service.script("GET", path, Reply::raw(500, ""));
  try {
    test::wait(flow.session(QStringLiteral("tok")));
    ADD_FAILURE() << "a 500 must throw";
  } catch (const UploadError& error) {
    EXPECT_EQ(error, UploadError::http(500));
  }
  EXPECT_TRUE(log.contains(QStringLiteral("no answer about the session: HTTP 500")));
}

TEST_F(DeviceFlowTest, SessionAndSubscriptionOfARealSession) {
  const QString token = harness.service.createSession(QStringLiteral("grace@example.com"), true);
  EXPECT_EQ(test::wait(flow.session(token)), QStringLiteral("grace@example.com"));
  EXPECT_TRUE(test::wait(flow.isSubscribed(token)));
  harness.service.setSubscribed(QStringLiteral("grace@example.com"), false);
  EXPECT_FALSE(test::wait(flow.isSubscribed(token)));
  EXPECT_EQ(test::wait(flow.session(QStringLiteral("unknown"))), std::nullopt);
}

TEST_F(DeviceFlowTest, SubscriptionIsFalseWithoutAClearAnswer) {
  const Reply unclear[] = {Reply::json({{QStringLiteral("subscribed"), QStringLiteral("yes")}}),
                           Reply::error(403, QStringLiteral("FORBIDDEN")), Reply::raw(200, "<html/>", "text/html")};
  for (const auto& reply : unclear) {
    SCOPED_TRACE(reply.body.constData());
    log.clear();
    harness.service.script("GET", QStringLiteral("me"), reply);
    EXPECT_FALSE(test::wait(flow.isSubscribed(QStringLiteral("tok"))));
    EXPECT_TRUE(log.contains(QStringLiteral("no subscription state from /api/me")));
  }
  EXPECT_EQ(test::wait(DeviceFlow(unreachable).subscriptionState(QStringLiteral("tok"))), std::nullopt);
}

TEST_F(DeviceFlowTest, SignOutEndsTheSessionAndNeverThrows) {
  const QString token = harness.service.createSession(QStringLiteral("ada@example.com"));
  test::wait(flow.signOut(token));
  EXPECT_FALSE(harness.service.hasSession(token));
  const auto request = harness.service.requests().last();
  EXPECT_EQ(request.target, QStringLiteral("/api/auth/sign-out"));
  EXPECT_EQ(request.method, "POST");
  EXPECT_TRUE(request.body.isEmpty());
  EXPECT_TRUE(log.contains(QStringLiteral("server sign-out: HTTP 200")));

  test::wait(DeviceFlow(unreachable).signOut(token));
  EXPECT_TRUE(log.contains(QStringLiteral("server sign-out failed: ")));
}

TEST_F(DeviceFlowTest, BillingPortal) {
  const QString token = harness.service.createSession(QStringLiteral("ada@example.com"), true);
  BillingPortal portal(harness.api);
  const auto url = test::wait(portal.url(token));
  ASSERT_TRUE(url);
  EXPECT_EQ(*url, QUrl(harness.service.baseUrl().toString() + QStringLiteral("/billing/portal")));
  const auto request = harness.service.requests().last();
  EXPECT_EQ(request.body, "intent=portal&return=app");
  EXPECT_EQ(request.header("content-type"), "application/x-www-form-urlencoded");

  log.clear();
  harness.service.script("POST", QStringLiteral("billing"), Reply::json({{QStringLiteral("url"), QString()}}));
  EXPECT_EQ(test::wait(portal.url(token)), std::nullopt);
  EXPECT_TRUE(log.lines().isEmpty()) << "an empty link is no portal, not a failure";

  harness.service.script("POST", QStringLiteral("billing"), Reply::raw(500, ""));
  EXPECT_EQ(test::wait(portal.url(token)), std::nullopt);
  EXPECT_TRUE(log.contains(QStringLiteral("no billing portal: HTTP 500")));

  EXPECT_EQ(test::wait(BillingPortal(unreachable).url(token)), std::nullopt);
  EXPECT_TRUE(log.contains(QStringLiteral("billing portal unreachable")));
}

}  // namespace
}  // namespace pm
