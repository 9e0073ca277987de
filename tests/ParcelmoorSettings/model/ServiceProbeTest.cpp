#include <QNetworkAccessManager>

#include <httplib.h>

#include <gtest/gtest.h>

#include <atomic>

#include "ClosedPort.h"
#include "QStringPrinting.h"
#include "model/ServiceProbe.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"

namespace pm::settings {
namespace {

TEST(ServiceProbe, AnyAnswerBelowFiveHundredMeansTheServiceIsThere) {
  struct Case {
    int status;
    std::optional<QString> result;
  };
  const Case cases[] = {
      {200, std::nullopt},
      {401, std::nullopt},
      {404, std::nullopt},
      {499, std::nullopt},
      {500, QStringLiteral("Parcelmoor responded with HTTP 500.")},
      {503, QStringLiteral("Parcelmoor responded with HTTP 503.")},
  };
  std::atomic_int status = 0;
  std::mutex mutex;
  std::string path;
  std::string authorization;
  test::LocalHttpServer server([&](const httplib::Request& request, httplib::Response& response) {
    const std::lock_guard lock(mutex);
    path = request.method + " " + request.path;
    authorization = request.get_header_value("Authorization");
    response.status = status;
  });
  QNetworkAccessManager network;
  for (const Case& c : cases) {
    status = c.status;
    EXPECT_EQ(test::wait(testParcelmoorConnection(network, server.url(QStringLiteral("/base")))), c.result)
        << c.status;
  }
  const std::lock_guard lock(mutex);
  EXPECT_EQ(path, "GET /base/api/me");
  EXPECT_EQ(authorization, "");
}

TEST(ServiceProbe, NoServiceGivesTheNetworksOwnWords) {
  QNetworkAccessManager network;
  const QUrl nobody(QStringLiteral("http://127.0.0.1:%1").arg(test::closedPort()));

  EXPECT_EQ(test::wait(testParcelmoorConnection(network, nobody)), QStringLiteral("Connection refused"));
}

TEST(ServiceProbe, AServiceThatDoesNotAnswerInTimeIsReported) {
  test::LocalHttpServer* stalling = nullptr;
  test::LocalHttpServer server([&](const httplib::Request&, httplib::Response& response) {
    stalling->pause(std::chrono::seconds(5));
    response.status = 200;
  });
  stalling = &server;
  QNetworkAccessManager network;

  const auto result =
      test::wait(testParcelmoorConnection(network, server.url(), std::chrono::milliseconds(200)));

  EXPECT_EQ(result, QStringLiteral("The request timed out."));
}

}  // namespace
}  // namespace pm::settings
