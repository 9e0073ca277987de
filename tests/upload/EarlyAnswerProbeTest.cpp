#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "support/EarlyAnswerServer.h"
#include "support/FakeUploadServer.h"
#include "support/TestSupport.h"
#include "upload/EarlyAnswerProbe.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

UploadDestination put(const QUrl& url) {
  return UploadDestination{QUuid::createUuid(), url, QStringLiteral("PUT"), {{QStringLiteral("X-Test"), QStringLiteral("1")}}};
}

TEST(EarlyAnswerProbe, ReadsARefusalThatComesBeforeTheBody) {
  test::EarlyAnswerServer refusing("HTTP/1.1 403 Forbidden\r\nContent-Length: 7\r\n\r\nrefused");
  const std::optional<EarlyAnswer> answer =
      test::wait(probeEarlyAnswer(put(refusing.url(QStringLiteral("/b/k?x=1"))), 1 << 30, 5s));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 403);
  EXPECT_EQ(answer->body, QByteArray("refused"));
}

// A server that takes the header waits for a body that never comes: nothing reaches its handler.
TEST(EarlyAnswerProbe, AnAcceptedHeaderStoresNothing) {
  test::FakeUploadServer accepting;
  const std::optional<EarlyAnswer> answer =
      test::wait(probeEarlyAnswer(put(accepting.url(QStringLiteral("/b/k"))), 1000, 2s));
  EXPECT_FALSE(answer);
  EXPECT_TRUE(accepting.requests().isEmpty());
}

// None of these waits out its time: a refused connection and a closed one end the probe at once.
TEST(EarlyAnswerProbe, NoServerAndNoAnswerGiveNothing) {
  QElapsedTimer elapsed;
  elapsed.start();
  QUrl closed;
  {
    test::FakeUploadServer gone;
    closed = gone.url(QStringLiteral("/b/k"));
  }
  EXPECT_FALSE(test::wait(probeEarlyAnswer(put(closed), 10, 2s)));
  test::EarlyAnswerServer silent{QByteArray()};
  EXPECT_FALSE(test::wait(probeEarlyAnswer(put(silent.url(QStringLiteral("/b/k"))), 10, 2s)));
  EXPECT_FALSE(test::wait(probeEarlyAnswer(put(QUrl(QStringLiteral("file:///tmp/x"))), 10, 2s)));
  EXPECT_LT(elapsed.elapsed(), 1500);
}

}  // namespace
}  // namespace pm
