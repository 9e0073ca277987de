#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpSocket>

#include "connectors/LoopbackListener.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

const QString kState = QStringLiteral("state-1");

struct Outcome {
  std::optional<QString> code;
  std::optional<OAuthFailure> failure;
  bool done = false;
};

std::shared_ptr<Outcome> startCode(LoopbackListener& listener) {
  auto outcome = std::make_shared<Outcome>();
  [](LoopbackListener& from, std::shared_ptr<Outcome> out) -> QCoro::Task<> {
    try {
      out->code = co_await from.code();
    } catch (const OAuthFailure& failure) {
      out->failure = failure;
    }
    out->done = true;
  }(listener, outcome);
  return outcome;
}

// A client connection that sends `request` (when given) and collects everything the listener answers
// until it closes the connection.
class Client {
 public:
  explicit Client(quint16 port, std::optional<QByteArray> request, QHostAddress from = {}) {
    if (!from.isNull()) socket_.bind(from);
    QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] { answer_ += socket_.readAll(); });
    QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_, [this] { closed_ = true; });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_, [this] { closed_ = true; });
    socket_.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (request) socket_.write(*request);
  }

  bool waitClosed(std::chrono::milliseconds timeout = 5s) {
    return test::runUntil([this] { return closed_; }, timeout);
  }
  const QByteArray& answer() const { return answer_; }

 private:
  QTcpSocket socket_;
  QByteArray answer_;
  bool closed_ = false;
};

QByteArray get(const QString& target) {
  return QStringLiteral("GET %1 HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html\r\n\r\n").arg(target).toUtf8();
}

bool portAccepts(quint16 port) {
  QTcpSocket probe;
  probe.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
  return probe.waitForConnected(1000);
}

const QByteArray kSuccessPage = LoopbackListener::answerPage(true);
const QByteArray kFailurePage = LoopbackListener::answerPage(false);

TEST(LoopbackListenerTest, AnswersArePlainHtmlPages) {
  EXPECT_EQ(kSuccessPage,
            QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n"
                       "<!doctype html><meta charset=\"utf-8\"><title>Parcelmoor</title><body style=\"font: 16px "
                       "-apple-system, sans-serif; padding: 3rem\"><p>Parcelmoor is connected. You can close this "
                       "tab.</p>"));
  EXPECT_TRUE(kFailurePage.endsWith("<p>Parcelmoor could not connect this account.</p>"));
}

TEST(LoopbackListenerTest, RequestsAreReadByTheirFirstLine) {
  const struct {
    const char* request;
    std::optional<QString> code;
    std::optional<QString> refusal;  // otherwise: unusable
  } table[] = {
      {"GET /?state=state-1&code=4/abc HTTP/1.1\r\nHost: x\r\n\r\n", QStringLiteral("4/abc"), {}},
      {"GET /?code=c%2B1&state=state-1&code=second HTTP/1.1\r\n", QStringLiteral("c+1"), {}},
      {"GET /?state=state-1&error=access_denied&error_description=no HTTP/1.1\r\n", {}, QStringLiteral("access_denied")},
      {"GET /?state=state-1&code=&error=access_denied HTTP/1.1\r\n", {}, QStringLiteral("access_denied")},
      {"GET /?state=state-1&error=access+denied%2Bmore HTTP/1.1\r\n", {}, QStringLiteral("access denied+more")},
      {"GET /?state=state-1&code= HTTP/1.1\r\n", {}, {}},
      {"GET /?state=other&code=abc HTTP/1.1\r\n", {}, {}},
      {"GET /?code=abc HTTP/1.1\r\n", {}, {}},
      {"GET /favicon.ico HTTP/1.1\r\n", {}, {}},
      {"GET\r\n", {}, {}},
      {"GET /?state=sta", {}, {}},
      {"", {}, {}},
      {"\r\n\r\n", {}, {}},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.request);
    const LoopbackListener::ParseResult result = LoopbackListener::parse(QString::fromLatin1(row.request), kState);
    if (row.code) {
      ASSERT_TRUE(std::holds_alternative<QString>(result));
      EXPECT_EQ(std::get<QString>(result), *row.code);
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<OAuthFailure>(result));
    const OAuthFailure& failure = std::get<OAuthFailure>(result);
    if (row.refusal) {
      EXPECT_EQ(failure, OAuthFailure::refused(*row.refusal));
    } else {
      EXPECT_EQ(failure.kind(), OAuthFailure::Kind::badResponse);
    }
  }
}

TEST(LoopbackListenerTest, TheRedirectGivesTheCodeTheSuccessPageAndClosesThePort) {
  LoopbackListener listener(kState);
  const quint16 port = listener.port();
  ASSERT_NE(port, 0);
  const auto outcome = startCode(listener);
  Client browser(port, get(QStringLiteral("/?state=state-1&code=the-code&scope=x")));
  ASSERT_TRUE(browser.waitClosed());
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }));
  EXPECT_EQ(outcome->code, QStringLiteral("the-code"));
  EXPECT_EQ(browser.answer(), kSuccessPage);
  EXPECT_FALSE(listener.isListening());
  EXPECT_FALSE(portAccepts(port));
}

TEST(LoopbackListenerTest, AnIconRequestGetsTheFailurePageAndTheRedirectStillWorks) {
  LoopbackListener listener(kState);
  const auto outcome = startCode(listener);
  Client icon(listener.port(), get(QStringLiteral("/favicon.ico")));
  ASSERT_TRUE(icon.waitClosed());
  EXPECT_EQ(icon.answer(), kFailurePage);
  EXPECT_FALSE(outcome->done);

  Client browser(listener.port(), get(QStringLiteral("/?state=state-1&code=c")));
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }));
  EXPECT_EQ(outcome->code, QStringLiteral("c"));
}

TEST(LoopbackListenerTest, AProviderErrorIsARefusalWithTheFailurePage) {
  LoopbackListener listener(kState);
  const auto outcome = startCode(listener);
  Client browser(listener.port(), get(QStringLiteral("/?state=state-1&error=access_denied")));
  ASSERT_TRUE(browser.waitClosed());
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }));
  ASSERT_TRUE(outcome->failure);
  EXPECT_EQ(*outcome->failure, OAuthFailure::refused(QStringLiteral("access_denied")));
  EXPECT_EQ(browser.answer(), kFailurePage);
  EXPECT_FALSE(listener.isListening());
}

TEST(LoopbackListenerTest, ASilentConnectionTimesOutWithoutHoldingUpTheRedirect) {
  LoopbackListener listener(kState, LoopbackTiming{5s, 150ms});
  const auto outcome = startCode(listener);
  Client silent(listener.port(), std::nullopt);
  test::spin(30ms);
  Client browser(listener.port(), get(QStringLiteral("/?state=state-1&code=c")));
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }));
  EXPECT_EQ(outcome->code, QStringLiteral("c"));

  // The silent one still gets its page once its own time is up.
  LoopbackListener second(kState, LoopbackTiming{5s, 100ms});
  const auto waiting = startCode(second);
  Client quiet(second.port(), std::nullopt);
  ASSERT_TRUE(quiet.waitClosed());
  EXPECT_EQ(quiet.answer(), kFailurePage);
  EXPECT_FALSE(waiting->done);
  EXPECT_TRUE(second.isListening());
}

TEST(LoopbackListenerTest, TheWholeWaitEndsAndClosesThePort) {
  LoopbackListener listener(kState, LoopbackTiming{100ms, 10s});
  const quint16 port = listener.port();
  const auto outcome = startCode(listener);
  Client silent(port, std::nullopt);
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }));
  ASSERT_TRUE(outcome->failure);
  EXPECT_EQ(outcome->failure->kind(), OAuthFailure::Kind::noAnswer);
  EXPECT_FALSE(portAccepts(port));
}

TEST(LoopbackListenerTest, APeerThatIsNotThisAddressIsRefusedUnanswered) {
  test::LogCapture log;
  LoopbackListener listener(kState);
  const auto outcome = startCode(listener);
  Client stranger(listener.port(), get(QStringLiteral("/?state=state-1&code=stolen")), QHostAddress(QStringLiteral("127.0.0.2")));
  ASSERT_TRUE(stranger.waitClosed());
  EXPECT_TRUE(stranger.answer().isEmpty());
  EXPECT_TRUE(log.contains(QStringLiteral("something that is not this machine knocked on the OAuth port")));
  EXPECT_FALSE(outcome->done);

  Client browser(listener.port(), get(QStringLiteral("/?state=state-1&code=mine")));
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }));
  EXPECT_EQ(outcome->code, QStringLiteral("mine"));
}

TEST(LoopbackListenerTest, TwoListenersGetTwoPortsAndADestroyedOneEndsItsWait) {
  auto first = std::make_unique<LoopbackListener>(kState);
  LoopbackListener second(kState);
  EXPECT_NE(first->port(), second.port());
  const quint16 port = first->port();
  const auto outcome = startCode(*first);
  first.reset();
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }));
  ASSERT_TRUE(outcome->failure);
  EXPECT_EQ(outcome->failure->kind(), OAuthFailure::Kind::noAnswer);
  EXPECT_FALSE(portAccepts(port));
}

}  // namespace
}  // namespace pm
