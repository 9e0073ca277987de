#include <QJsonObject>
#include <QNetworkReply>
#include <QProcess>

#include <QCoroTask>

#include <algorithm>

#include <gtest/gtest.h>

#include "core/ParcelmoorAPI.h"
#include "core/UploadError.h"
#include "platform/SharedNames.h"
#include "support/LogCapture.h"
#include "support/RawHttpServer.h"
#include "support/ServiceHarness.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::FakeService;

template <typename T>
std::optional<UploadError> failureOf(QCoro::Task<T> task) {
  try {
    test::wait(std::move(task));
  } catch (const UploadError& error) {
    return error;
  }
  return std::nullopt;
}

ParcelmoorAPI::Response get(ParcelmoorAPI& api, const QString& path, std::optional<QString> token = std::nullopt) {
  return test::wait(api.request(path, "GET", ParcelmoorAPI::Body::none(), std::move(token)));
}

TEST(ServiceBaseUrl, TheVariableWinsOnlyWhenItIsAUsableUrl) {
  const QUrl builtIn = builtInServiceUrl();
  EXPECT_TRUE(builtIn.isValid());
  EXPECT_FALSE(builtIn.isRelative());
  EXPECT_EQ(serviceBaseUrl(QStringLiteral("http://127.0.0.1:8080")), QUrl(QStringLiteral("http://127.0.0.1:8080")));
  for (const auto& unusable : {std::optional<QString>(), std::optional<QString>(QString()),
                               std::optional<QString>(QStringLiteral("not a url")),
                               std::optional<QString>(QStringLiteral("/relative/path"))}) {
    SCOPED_TRACE(qPrintable(unusable.value_or(QStringLiteral("<unset>"))));
    EXPECT_EQ(serviceBaseUrl(unusable), builtIn);
  }
}

// The process keeps the first value it reads, so the test needs a process whose first read it is.
TEST(ServiceBaseUrl, TheVariableIsReadOnceAndRoutesRequests) {
  FakeService service;
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("PARCELMOOR_API"), service.baseUrl().toString());
  child.setProcessEnvironment(env);
  child.start(QStringLiteral(PM_SERVICE_URL_PROBE), {});
  ASSERT_TRUE(child.waitForFinished(30'000));
  ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardError().constData();

  const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(QUrl(lines[0]), service.baseUrl());
  EXPECT_EQ(QUrl(lines[1]), service.baseUrl()) << "a changed variable is not read again";
  EXPECT_EQ(lines[2], QStringLiteral("404"));
  ASSERT_EQ(service.requests().size(), 1);
  EXPECT_EQ(service.requests().last().target, QStringLiteral("/api/buckets"));
}

TEST(ParcelmoorAPI, PathsGoUnderApiBelowTheBaseUrl) {
  test::ServiceHarness harness;
  EXPECT_EQ(get(harness.api, QStringLiteral("buckets")).status, 404);

  ParcelmoorAPI::Options options = test::ServiceHarness::optionsFor(harness.service);
  options.baseUrl.setPath(QStringLiteral("/prefix/"));
  ParcelmoorAPI prefixed(harness.network, harness.keychain, options);
  get(prefixed, QStringLiteral("connectors/ABC"));

  const auto requests = harness.service.requests();
  ASSERT_EQ(requests.size(), 2);
  EXPECT_EQ(requests[0].target, QStringLiteral("/api/buckets"));
  EXPECT_EQ(requests[1].target, QStringLiteral("/prefix/api/connectors/ABC"));
}

TEST(ParcelmoorAPI, HeadersAndBodies) {
  test::ServiceHarness harness;
  ParcelmoorAPI::Options options = test::ServiceHarness::optionsFor(harness.service);
  options.preferredLanguages = {QStringLiteral("en-GB"), QStringLiteral("fr-FR"), QStringLiteral("de"),
                                QStringLiteral("it"), QStringLiteral("nl")};
  ParcelmoorAPI api(harness.network, harness.keychain, options);

  const QString form = QStringLiteral("intent=portal&return=app&note=caf%C3%A9+%2F+x");
  test::wait(api.request(QStringLiteral("echo"), "POST", ParcelmoorAPI::Body::form(form), QStringLiteral("tok")));
  test::wait(api.request(QStringLiteral("echo"), "PUT",
                             ParcelmoorAPI::Body::json(QJsonObject{{QStringLiteral("key"), QStringLiteral("a/b")}}),
                             std::nullopt));
  test::wait(api.request(QStringLiteral("echo"), "DELETE", ParcelmoorAPI::Body::none(), std::nullopt));

  const auto requests = harness.service.requests();
  ASSERT_EQ(requests.size(), 3);
  for (const auto& request : requests) EXPECT_EQ(request.header("accept-language"), "en-GB, fr-FR, de");

  EXPECT_EQ(requests[0].body, form.toUtf8()) << "a form goes out byte for byte";
  EXPECT_EQ(requests[0].header("content-type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].header("authorization"), "Bearer tok");

  EXPECT_EQ(requests[1].method, "PUT");
  EXPECT_EQ(requests[1].header("content-type"), "application/json");
  EXPECT_EQ(requests[1].json(), (QJsonObject{{QStringLiteral("key"), QStringLiteral("a/b")}}));
  EXPECT_FALSE(requests[1].headers.contains("authorization"));

  EXPECT_EQ(requests[2].method, "DELETE");
  EXPECT_TRUE(requests[2].body.isEmpty());
  EXPECT_FALSE(requests[2].headers.contains("content-type"));
}

TEST(ParcelmoorAPI, AcceptLanguageNamesUpToThreeDistinctLanguages) {
  const struct {
    QStringList preferred;  // as the system lists them
    QByteArray header;
  } table[] = {
      {{"en-Latn-US", "en-US", "en"}, "en-US, en"},
      {{"fr", "fr-Latn-FR", "fr-FR", "de", "de-Latn-DE", "de-DE"}, "fr, fr-FR, de"},
      {{"zh-Hant-TW", "zh-TW"}, "zh-TW"},
      {{"zh-Hans-CN", "zh-Hant-TW"}, "zh-Hans-CN, zh-Hant-TW"},
      {{"en-GB", "EN-gb", "en-gb", "de"}, "en-GB, de"},
      {{"C"}, "*"},
      {{"POSIX", "c"}, "*"},
      {{"", "en US", "ninelettr", "de_DE", "-x", "en-", "it"}, "it"},
      {{}, "*"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(qPrintable(row.preferred.join(QLatin1Char('|'))));
    test::ServiceHarness harness;
    ParcelmoorAPI::Options options = test::ServiceHarness::optionsFor(harness.service);
    options.preferredLanguages = row.preferred;
    ParcelmoorAPI api(harness.network, harness.keychain, options);
    get(api, QStringLiteral("me"));
    const auto request = harness.service.requests().last();
    EXPECT_EQ(request.header("accept-language"), row.header);
  }
}

TEST(ParcelmoorAPI, ABodyThatIsNoJsonFailsBeforeSending) {
  test::ServiceHarness harness;
  EXPECT_THROW(test::wait(harness.api.request(QStringLiteral("echo"), "POST",
                                                  ParcelmoorAPI::Body::json(QJsonValue(QJsonValue::Undefined)),
                                                  std::nullopt)),
               std::invalid_argument);
  EXPECT_TRUE(harness.service.requests().isEmpty());
}

TEST(ParcelmoorAPI, KeepsNoCookies) {
  test::ServiceHarness harness;
  FakeService::Reply withCookie = FakeService::Reply::json({});
  withCookie.headers.insert("Set-Cookie", "sid=secret; Path=/");
  harness.service.script("GET", QStringLiteral("first"), withCookie);
  get(harness.api, QStringLiteral("first"));
  get(harness.api, QStringLiteral("second"));
  EXPECT_FALSE(harness.service.requests().last().headers.contains("cookie"));
}

TEST(ParcelmoorAPI, ATimeOutIsTriedOnceMore) {
  const struct {
    int delayedAttempts;
    bool succeeds;
  } table[] = {{1, true}, {2, false}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.delayedAttempts);
    test::ServiceHarness harness;
    ParcelmoorAPI::Options options = test::ServiceHarness::optionsFor(harness.service);
    options.timeout = 150ms;
    ParcelmoorAPI api(harness.network, harness.keychain, options);
    for (int i = 0; i < row.delayedAttempts; ++i) harness.service.delayNext("GET", QStringLiteral("me"), 600ms);
    const QString token = harness.service.createSession(QStringLiteral("ada@example.com"));
    test::LogCapture log;

    std::optional<UploadError> failure;
    try {
      EXPECT_EQ(get(api, QStringLiteral("me"), token).status, 200);
    } catch (const UploadError& error) {
      failure = error;
    }
    EXPECT_EQ(harness.service.count("GET", QStringLiteral("me")), 2);
    EXPECT_EQ(log.count(QStringLiteral("GET /api/me timed out; one more try")), 1);
    if (row.succeeds) {
      EXPECT_FALSE(failure);
    } else {
      EXPECT_EQ(failure, UploadError::transport(QStringLiteral("The request timed out.")));
    }
  }
}

TEST(ParcelmoorAPI, OtherFailuresAreNotRetried) {
  test::ServiceHarness harness;
  ParcelmoorAPI unreachable(harness.network, harness.keychain, harness.unreachableOptions());
  const auto failure = failureOf(unreachable.request(QStringLiteral("me"), "GET", ParcelmoorAPI::Body::none(), {}));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), UploadError::Kind::transport);
  EXPECT_FALSE(failure->message().isEmpty());
}

TEST(ParcelmoorAPI, ACancelledRequestEndsAsCancelledWithoutARetry) {
  test::ServiceHarness harness;
  harness.service.delayNext("GET", QStringLiteral("slow"), 2s);
  const CancelTokenPtr cancel = makeCancelToken();
  auto task = harness.api.request(QStringLiteral("slow"), "GET", ParcelmoorAPI::Body::none(), {}, cancel);
  ASSERT_TRUE(test::runUntil([&] { return harness.service.count("GET", QStringLiteral("slow")) == 1; }));
  cancel->cancel();
  EXPECT_EQ(failureOf(std::move(task)), UploadError::cancelled());
  EXPECT_EQ(harness.service.count("GET", QStringLiteral("slow")), 1);
}

TEST(ParcelmoorAPI, ARedirectReachesTheCallerAsItsStatus) {
  for (const int status : {301, 302, 303, 307, 308}) {
    for (const QByteArray& method : {QByteArray("POST"), QByteArray("PUT")}) {
      SCOPED_TRACE(status);
      SCOPED_TRACE(method.constData());
      test::ServiceHarness harness;
      harness.signIn();
      FakeService::Reply moved = FakeService::Reply::raw(status, "");
      moved.headers.insert("Location", harness.service.baseUrl().toEncoded() + "/api/elsewhere");
      harness.service.script(method, QStringLiteral("buckets"), moved);
      harness.service.script(method, QStringLiteral("buckets"), moved);

      const QJsonObject sent{{QStringLiteral("name"), QStringLiteral("x")}};
      const auto response = test::wait(
          harness.api.request(QStringLiteral("buckets"), method, ParcelmoorAPI::Body::json(sent), {}));
      EXPECT_EQ(response.status, status);
      EXPECT_EQ(failureOf(harness.api.authorizedRequest(QStringLiteral("buckets"), method, sent)),
                UploadError::rejected(QStringLiteral("Parcelmoor responded with HTTP %1.").arg(status)));
      EXPECT_EQ(harness.service.requests().size(), 2) << "nothing follows the redirect";
    }
  }
}

// ---- what comes back ------------------------------------------------------------------------------------

ParcelmoorAPI::Options rawServerOptions(const test::RawHttpServer& server, qint64 maximumAnswerSize) {
  ParcelmoorAPI::Options options;
  options.baseUrl = server.url(QString());
  options.maximumAnswerSize = maximumAnswerSize;
  return options;
}

// Counts the requests the client makes. Qt's HTTP layer may send a request once more on its own when
// the connection ends in the middle of the answer, so the server's count is not the client's.
class CountingNetwork final : public QNetworkAccessManager {
 public:
  int made = 0;

 protected:
  QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request, QIODevice* body) override {
    ++made;
    return QNetworkAccessManager::createRequest(operation, request, body);
  }
};

TEST(ParcelmoorAPI, AnAnswerCutShortIsATransportFailure) {
  const QString cutShort =
      QStringLiteral("The connection to Parcelmoor closed before the whole answer arrived.");
  const struct {
    const char* name;
    QByteArray answer;
  } table[] = {
      {"shorter than its length",
       "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n"
       "{\"url\":\"https://"},
      {"a refusal shorter than its length",
       "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 50\r\n\r\n{\"error\""},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    // Cut once the client has read the answer's head, as a server that stops in the middle of its answer.
    test::RawHttpServer server({row.answer, false, true});
    CountingNetwork network;
    MemoryKeychain keychain;
    ParcelmoorAPI api(network, keychain, rawServerOptions(server, 1024));
    auto task = api.request(QStringLiteral("me"), "GET", ParcelmoorAPI::Body::none(), {});
    ASSERT_TRUE(test::runUntil([&] {
      const QList<QNetworkReply*> replies = network.findChildren<QNetworkReply*>();
      return std::any_of(replies.begin(), replies.end(), [](const QNetworkReply* reply) {
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
      });
    }));
    server.closeConnections();
    EXPECT_EQ(failureOf(std::move(task)), UploadError::transport(cutShort));
    EXPECT_EQ(network.made, 1) << "a cut answer is not asked for again";
  }
}

TEST(ParcelmoorAPI, AnAnswerIsReadUpToItsCapAndNoFurther) {
  // Larger than what the client reads ahead, so a whole answer also has to come through in steps.
  constexpr qint64 kCap = 1 << 20;
  const QString tooLarge = QStringLiteral("The answer from Parcelmoor is too large to read.");
  const QByteArray exact(kCap, 'a');
  const auto withLength = [](const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
  };
  const struct {
    const char* name;
    test::RawHttpServer::Answer answer;
    std::optional<QByteArray> body;  // nothing: refused as too large
  } table[] = {
      {"exactly the cap", {withLength(exact)}, exact},
      {"one byte over the cap", {withLength(exact + "a")}, std::nullopt},
      {"one byte over the cap, unannounced", {"HTTP/1.1 200 OK\r\n\r\n" + exact + "a"}, std::nullopt},
      {"the cap, unannounced", {"HTTP/1.1 200 OK\r\n\r\n" + exact}, exact},
      {"a huge length, announced",
       {"HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n", true},
       std::nullopt},
      {"no length, never ending", {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", true}, std::nullopt},
      {"a refusal that never ends", {"HTTP/1.1 500 Oops\r\nConnection: close\r\n\r\n", true}, std::nullopt},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    test::RawHttpServer server(row.answer);
    QNetworkAccessManager network;
    MemoryKeychain keychain;
    ParcelmoorAPI api(network, keychain, rawServerOptions(server, kCap));
    auto task = api.request(QStringLiteral("me"), "GET", ParcelmoorAPI::Body::none(), {});
    if (row.body) {
      EXPECT_EQ(test::wait(std::move(task)).body, *row.body);
      continue;
    }
    EXPECT_EQ(failureOf(std::move(task)), UploadError::transport(tooLarge));
    ASSERT_TRUE(test::runUntil([&] { return server.allClosed(); })) << "the answer was abandoned";
    // What the kernel buffers between the two ends comes on top of the cap; an unbounded read would
    // never have ended.
    EXPECT_LT(server.bytesSent(), 16 << 20);
  }
}

struct Reactions {
  explicit Reactions(ParcelmoorAPI& api) {
    QObject::connect(&api, &ParcelmoorAPI::sessionRefused, &context, [this] { ++sessionChecks; });
    QObject::connect(&api, &ParcelmoorAPI::subscriptionRequired, &context, [this] { ++subscriptionChecks; });
  }
  int total() const { return sessionChecks + subscriptionChecks; }
  QObject context;
  int sessionChecks = 0;
  int subscriptionChecks = 0;
};

struct Refusal {
  std::optional<UploadError> error;
  int reactionsWhenThrown = 0;
};

// What the caller of a refused request sees, and how many reactions had started by then.
QCoro::Task<Refusal> refusalOf(ParcelmoorAPI& api, const QString& path, const Reactions& reactions) {
  Refusal refusal;
  try {
    co_await api.authorizedRequest(path, "POST");
  } catch (const UploadError& error) {
    refusal.error = error;
  }
  refusal.reactionsWhenThrown = reactions.total();
  co_return refusal;
}

TEST(ParcelmoorAPI, AuthorizedRequestWithoutATokenSendsNothing) {
  test::ServiceHarness harness;
  EXPECT_EQ(failureOf(harness.api.authorizedRequest(QStringLiteral("me"), "GET")),
            UploadError::signedOut(QStringLiteral("Sign in to your Parcelmoor account first.")));
  EXPECT_TRUE(harness.service.requests().isEmpty());
}

TEST(ParcelmoorAPI, AuthorizedRequestSendsTheTokenAndReturnsASuccessfulBody) {
  test::ServiceHarness harness;
  const QString token = harness.signIn();
  harness.service.script("POST", QStringLiteral("buckets"), FakeService::Reply::raw(201, "created"));
  const QByteArray body = test::wait(
      harness.api.authorizedRequest(QStringLiteral("buckets"), "POST", QJsonObject{{QStringLiteral("key"), 1}}));
  EXPECT_EQ(body, "created");
  const auto request = harness.service.requests().last();
  EXPECT_EQ(request.header("authorization"), "Bearer " + token.toUtf8());
  EXPECT_EQ(request.body, R"({"key":1})");
}

TEST(ParcelmoorAPI, ErrorAnswersMapToUploadErrorsAndReactions) {
  const struct {
    int status;
    QByteArray body;
    UploadError expected;
    int sessionChecks;
    int subscriptionChecks;
  } table[] = {
      {401, R"({"error":"SUBSCRIPTION_REQUIRED"})", UploadError::subscriptionRequired(QStringLiteral("SUBSCRIPTION_REQUIRED")), 1, 0},
      {401, "", UploadError::signedOut(QStringLiteral("Sign in to your Parcelmoor account first.")), 1, 0},
      {403, R"({"error":"UNAUTHORIZED"})", UploadError::signedOut(QStringLiteral("UNAUTHORIZED")), 0, 0},
      {402, R"({"error":"SUBSCRIPTION_REQUIRED","message":"Subscribe to upload."})",
       UploadError::subscriptionRequired(QStringLiteral("Subscribe to upload.")), 0, 1},
      {413, R"({"error":"QUOTA_EXCEEDED","message":"Out of space."})", UploadError::quotaExceeded(QStringLiteral("Out of space.")), 0, 0},
      {400, R"({"error":"BAD_NAME","message":"Names may not hold a colon."})",
       UploadError::rejected(QStringLiteral("Names may not hold a colon.")), 0, 0},
      {500, "", UploadError::rejected(QStringLiteral("Parcelmoor responded with HTTP 500.")), 0, 0},
      {502, "<html>Bad gateway</html>", UploadError::rejected(QStringLiteral("Parcelmoor responded with HTTP 502.")), 0, 0},
      {400, R"({"error":5,"message":"ignored, the record does not decode"})",
       UploadError::rejected(QStringLiteral("Parcelmoor responded with HTTP 400.")), 0, 0},
      {409, "{}", UploadError::rejected(QStringLiteral("This box has already been sealed.")), 0, 0},
      {429, "{}", UploadError::rejected(QStringLiteral("Too many boxes in a short time. Try again in a little while.")), 0, 0},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.status);
    SCOPED_TRACE(row.body.constData());
    test::ServiceHarness harness;
    harness.signIn();
    Reactions reactions(harness.api);
    harness.service.script("POST", QStringLiteral("buckets/B/seal"),
                           FakeService::Reply::raw(row.status, row.body, "application/json"));
    const Refusal refusal = test::wait(refusalOf(harness.api, QStringLiteral("buckets/B/seal"), reactions));
    EXPECT_EQ(refusal.error, row.expected);
    EXPECT_EQ(refusal.reactionsWhenThrown, 0) << "the reactions start after the failure reached its caller";
    EXPECT_TRUE(test::runUntil([&] {
      return reactions.sessionChecks >= row.sessionChecks &&
             reactions.subscriptionChecks >= row.subscriptionChecks;
    }));
    test::spin(20ms);  // a reaction too many shows by now
    EXPECT_EQ(reactions.sessionChecks, row.sessionChecks);
    EXPECT_EQ(reactions.subscriptionChecks, row.subscriptionChecks);
  }
}

TEST(ParcelmoorAPI, TheTokenIsReadOnceAndAgainOnlyAfterARefusal) {
  test::ServiceHarness harness;
  const QString first = harness.signIn();
  harness.service.script("GET", QStringLiteral("me"), FakeService::Reply::raw(200, "{}"));
  harness.service.script("GET", QStringLiteral("me"), FakeService::Reply::raw(401, ""));
  harness.service.script("GET", QStringLiteral("me"), FakeService::Reply::raw(200, "{}"));
  const auto readsOfTheToken = [&] {
    return harness.keychain.readCount(QString::fromLatin1(names::keychain::kSessionService), sessionTokenAccount());
  };

  test::wait(harness.api.authorizedRequest(QStringLiteral("me"), "GET"));
  // Replaced behind the client's back, unannounced: the kept token goes out until the service refuses it.
  const QString second = harness.service.createSession(QStringLiteral("ada@example.com"), true);
  storeKeychainString(harness.keychain, second, sessionTokenAccount());
  failureOf(harness.api.authorizedRequest(QStringLiteral("me"), "GET"));
  test::wait(harness.api.authorizedRequest(QStringLiteral("me"), "GET"));

  const QList<FakeService::Request> sent = harness.service.requests();
  ASSERT_EQ(sent.size(), 3);
  EXPECT_EQ(sent.at(0).header("authorization"), "Bearer " + first.toUtf8());
  EXPECT_EQ(sent.at(1).header("authorization"), "Bearer " + first.toUtf8());
  EXPECT_EQ(sent.at(2).header("authorization"), "Bearer " + second.toUtf8());
  EXPECT_EQ(readsOfTheToken(), 2);
}

TEST(ParcelmoorAPI, ARefusalIsLoggedWithItsCode) {
  test::ServiceHarness harness;
  harness.signIn();
  harness.service.script("GET", QStringLiteral("boxes"), FakeService::Reply::error(403, QStringLiteral("FORBIDDEN")));
  harness.service.script("GET", QStringLiteral("boxes"), FakeService::Reply::raw(500, ""));
  test::LogCapture log;
  failureOf(harness.api.authorizedRequest(QStringLiteral("boxes"), "GET"));
  failureOf(harness.api.authorizedRequest(QStringLiteral("boxes"), "GET"));
  EXPECT_TRUE(log.contains(QStringLiteral("GET /api/boxes: HTTP 403 FORBIDDEN")));
  EXPECT_TRUE(log.contains(QStringLiteral("GET /api/boxes: HTTP 500 no code")));
}

}  // namespace
}  // namespace pm
