#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstring>

#include <memory>
#include <vector>

#include "support/FakeUploadServer.h"
#include "support/RawHttpServer.h"
#include "support/ReproducibleBytes.h"
#include "support/StallingSink.h"
#include "support/TestSupport.h"
#include "upload/FileRangeDevice.h"
#include "upload/HttpBodyTransfer.h"

namespace pm {
namespace {

using Ending = HttpBodyOutcome::Ending;

std::unique_ptr<QIODevice> bodyOf(const QByteArray& bytes) {
  auto buffer = std::make_unique<QBuffer>();
  buffer->setData(bytes);
  buffer->open(QIODevice::ReadOnly);
  return buffer;
}

// A body that makes its first half at once and then waits for the rest, which never comes.
class HalfThenWaiting final : public QIODevice {
 public:
  explicit HalfThenWaiting(QByteArray whole) : whole_(std::move(whole)) { open(QIODevice::ReadOnly); }
  qint64 size() const override { return whole_.size(); }
  bool waitForReadyRead(int msecs) override {
    QThread::msleep(std::min(msecs, 20));
    return false;
  }

 protected:
  qint64 readData(char* data, qint64 capacity) override {
    const qint64 count = std::min(capacity, whole_.size() / 2 - pos());
    if (count <= 0) return 0;
    std::memcpy(data, whole_.constData() + pos(), size_t(count));
    return count;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  QByteArray whole_;
};

HttpBodyRequest requestTo(const QUrl& url, QByteArray method = "PUT") {
  HttpBodyRequest request;
  request.method = std::move(method);
  request.url = url;
  request.idleTimeout = std::chrono::seconds(10);
  return request;
}

class HttpBodyTransferTest : public ::testing::Test {
 protected:
  HttpBodyOutcome send(HttpBodyRequest request, std::unique_ptr<QIODevice> body, CancelTokenPtr cancel = {}) {
    auto sent = [this](qint64 bytes, qint64 total) { progress.emplace_back(bytes, total); };
    return test::wait(sendHttpBody(std::move(request), std::move(body), sent, std::move(cancel)));
  }

  test::FakeUploadServer server;
  std::vector<std::pair<qint64, qint64>> progress;
};

TEST_F(HttpBodyTransferTest, SendsTheMethodHeadersAndBodyAndReturnsTheWholeAnswer) {
  test::FakeUploadServer::Answer answer;
  answer.status = 201;
  answer.headers.insert("ETag", "\"e-1\"");
  answer.body = "{\"id\":\"F1\"}";
  server.setAnswer(QStringLiteral("/files/a"), answer);
  const QByteArray bytes = test::reproducibleBytes(3 * 1024 * 1024 + 5);
  HttpBodyRequest request = requestTo(server.url(QStringLiteral("/files/a")), "POST");
  request.headers = {{"Content-Type", "image/png"}, {"X-Upload-Token", "t-1"}};

  const HttpBodyOutcome outcome = send(request, bodyOf(bytes));

  ASSERT_EQ(outcome.ending, Ending::answered) << outcome.text.toStdString();
  EXPECT_EQ(outcome.status, 201);
  EXPECT_FALSE(outcome.answeredEarly);
  EXPECT_TRUE(outcome.headers.contains(qMakePair(QByteArray("ETag"), QByteArray("\"e-1\""))));
  EXPECT_EQ(outcome.body, answer.body);
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].headers.value("content-type"), "image/png");
  EXPECT_EQ(requests[0].headers.value("x-upload-token"), "t-1");
  EXPECT_EQ(requests[0].headers.value("content-length"), QByteArray::number(bytes.size()));
  EXPECT_EQ(requests[0].headers.value("host"), "127.0.0.1:" + QByteArray::number(server.port()));
  EXPECT_FALSE(requests[0].headers.contains("expect")) << "no wait for a 100 Continue";
  EXPECT_TRUE(requests[0].body == bytes);
}

// The S3 signer signs the Host field Qt writes, which keeps a port the URL names even when it is the
// default one. The fake server stands in as the proxy, since ports 80 and 443 are not the test's to take.
TEST_F(HttpBodyTransferTest, TheHostFieldNamesThePortWheneverTheURLDoes) {
  const struct {
    const char* url;
    const char* host;
  } cases[] = {
      {"http://s3.test:80/b/k", "s3.test:80"},
      {"http://s3.test/b/k", "s3.test"},
      {"http://s3.test:9000/b/k", "s3.test:9000"},
  };
  for (const auto& c : cases) {
    HttpBodyRequest request = requestTo(QUrl(QString::fromLatin1(c.url)));
    request.proxy = QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), quint16(server.port()));
    const HttpBodyOutcome outcome = send(request, bodyOf("body"));
    ASSERT_EQ(outcome.ending, Ending::answered) << c.url << " " << outcome.text.toStdString();
    ASSERT_FALSE(server.requests().isEmpty());
    EXPECT_EQ(server.requests().last().headers.value("host"), c.host) << c.url;
    EXPECT_EQ(server.requests().last().body, "body");
  }
}

TEST_F(HttpBodyTransferTest, ProgressRisesToTheWholeBodyInAtMostAThousandSteps) {
  const QByteArray bytes = test::reproducibleBytes(8 * 1024 * 1024);
  QElapsedTimer clock;
  clock.start();
  ASSERT_EQ(send(requestTo(server.url(QStringLiteral("/p"))), bodyOf(bytes)).ending, Ending::answered);
  const qint64 elapsed = clock.elapsed();

  ASSERT_FALSE(progress.empty());
  EXPECT_LE(progress.size(), 1001u);
  // A fast body wakes this thread no more than once in 8 ms, and once more for its last byte.
  EXPECT_LE(progress.size(), size_t(elapsed / 8 + 2)) << elapsed << " ms";
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i].first, progress[i - 1].first);
  EXPECT_EQ(progress.back(), std::make_pair(qint64(bytes.size()), qint64(bytes.size())));
}

TEST_F(HttpBodyTransferTest, AnAnswerIsReadUpToItsLimit) {
  const struct {
    qsizetype size;
    Ending ending;
  } cases[] = {{kAnswerLimit, Ending::answered}, {kAnswerLimit + 1, Ending::answerTooLarge}};
  for (const auto& c : cases) {
    test::FakeUploadServer::Answer answer;
    answer.body = QByteArray(c.size, 'a');
    server.setAnswer(QStringLiteral("/big-answer"), answer);
    const HttpBodyOutcome outcome = send(requestTo(server.url(QStringLiteral("/big-answer"))), bodyOf("x"));
    EXPECT_EQ(outcome.ending, c.ending) << c.size;
    if (c.ending == Ending::answered) {
      EXPECT_EQ(outcome.body.size(), c.size);
    }
  }
}

TEST_F(HttpBodyTransferTest, ARedirectIsTheAnswer) {
  test::FakeUploadServer::Answer redirect;
  redirect.status = 307;
  redirect.headers.insert("Location", server.url(QStringLiteral("/elsewhere")).toEncoded());
  server.setAnswer(QStringLiteral("/moved"), redirect);

  const HttpBodyOutcome outcome = send(requestTo(server.url(QStringLiteral("/moved"))), bodyOf("body"));
  EXPECT_EQ(outcome.ending, Ending::answered);
  EXPECT_EQ(outcome.status, 307);
  ASSERT_EQ(server.requests().size(), 1);
}

TEST_F(HttpBodyTransferTest, AnIdleTransferTimesOutWhetherTheBodyOrTheAnswerIsStuck) {
  test::StallingSink stalling;  // stops reading the body
  test::FakeUploadServer::Answer slow;
  slow.delay = std::chrono::seconds(5);  // has the body, never answers in time
  server.setAnswer(QStringLiteral("/slow"), slow);
  const struct {
    const char* name;
    QUrl url;
  } cases[] = {{"body stuck", stalling.url()}, {"answer late", server.url(QStringLiteral("/slow"))}};
  for (const auto& c : cases) {
    HttpBodyRequest request = requestTo(c.url);
    request.idleTimeout = std::chrono::milliseconds(200);
    QElapsedTimer clock;
    clock.start();
    const HttpBodyOutcome outcome = send(request, bodyOf(test::reproducibleBytes(32 * 1024 * 1024)));
    EXPECT_EQ(outcome.ending, Ending::timedOut) << c.name;
    EXPECT_LT(clock.elapsed(), 2000) << c.name;
  }
}

TEST_F(HttpBodyTransferTest, CancellingStopsABodyUnderWayAtOnce) {
  test::StallingSink stalling;
  const CancelTokenPtr cancel = makeCancelToken();
  QElapsedTimer clock;
  QTimer watch;  // cancels once the sink has the start of the body
  QObject::connect(&watch, &QTimer::timeout, cancel.get(), [&] {
    if (stalling.received().isEmpty() || clock.isValid()) return;
    clock.start();
    cancel->cancel();
  });
  watch.start(10);
  const HttpBodyOutcome outcome =
      send(requestTo(stalling.url()), bodyOf(test::reproducibleBytes(32 * 1024 * 1024)), cancel);
  EXPECT_EQ(outcome.ending, Ending::cancelled);
  ASSERT_TRUE(clock.isValid()) << "the body was under way";
  EXPECT_LT(clock.elapsed(), 500);
}

// Pieces of one file follow one another to one server: they share a connection instead of each paying
// for a new one (a TLS handshake, in real life).
TEST_F(HttpBodyTransferTest, BodiesThatFollowOneAnotherShareAConnection) {
  for (int piece = 0; piece < 3; ++piece) {
    const HttpBodyOutcome outcome =
        send(requestTo(server.url(QStringLiteral("/piece"))), bodyOf(test::reproducibleBytes(256 * 1024)));
    ASSERT_EQ(outcome.ending, Ending::answered) << outcome.text.toStdString();
  }
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3);
  EXPECT_EQ(requests[1].clientPort, requests[0].clientPort);
  EXPECT_EQ(requests[2].clientPort, requests[0].clientPort);
}

// A kept connection must never carry what is left of a transfer that ended early into the next one.
TEST_F(HttpBodyTransferTest, ABodyStoppedHalfWayLeavesNothingBehindForTheNextOne) {
  test::FakeUploadServer::Answer slow;
  slow.delay = std::chrono::seconds(5);
  server.setAnswer(QStringLiteral("/slow"), slow);
  const QByteArray whole = test::reproducibleBytes(1024 * 1024 + 3);
  ASSERT_EQ(send(requestTo(server.url(QStringLiteral("/first"))), bodyOf(whole)).ending, Ending::answered);

  const CancelTokenPtr cancel = makeCancelToken();
  QTimer::singleShot(200, cancel.get(), [cancel] { cancel->cancel(); });
  EXPECT_EQ(send(requestTo(server.url(QStringLiteral("/slow"))), std::make_unique<HalfThenWaiting>(whole), cancel)
                .ending,
            Ending::cancelled);

  HttpBodyRequest timed = requestTo(server.url(QStringLiteral("/slow")));
  timed.idleTimeout = std::chrono::milliseconds(300);
  EXPECT_EQ(send(timed, bodyOf(whole)).ending, Ending::timedOut);

  const HttpBodyOutcome last = send(requestTo(server.url(QStringLiteral("/last"))), bodyOf(whole));
  ASSERT_EQ(last.ending, Ending::answered) << last.text.toStdString();
  EXPECT_EQ(last.status, 200);
  EXPECT_TRUE(server.lastBody(QStringLiteral("/last")) == whole);
}

TEST_F(HttpBodyTransferTest, AConnectionCutWithoutAWholeAnswerIsCutOff) {
  const QByteArray answers[] = {
      QByteArray(),                                               // closed without a word
      "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part",  // closed in the middle of the answer
  };
  for (const QByteArray& bytes : answers) {
    test::RawHttpServer cutting({bytes, false});
    const HttpBodyOutcome outcome = send(requestTo(cutting.url()), bodyOf("body"));
    EXPECT_EQ(outcome.ending, Ending::cutOff) << bytes.constData() << outcome.text.toStdString();
  }
}

TEST_F(HttpBodyTransferTest, AFileThatShrinksUnderwayIsUnreadableNotShort) {
  test::TempRoot root;
  const QString path = root.write(QStringLiteral("shrinking.bin"), test::reproducibleBytes(1024 * 1024));
  auto range = std::make_unique<FileRangeDevice>(path, 0, 1024 * 1024);
  ASSERT_TRUE(range->open(QIODevice::ReadOnly));
  ASSERT_TRUE(QFile::resize(path, 1000));  // after the length was announced, before the bytes are read

  const HttpBodyOutcome outcome = send(requestTo(server.url(QStringLiteral("/shrunk"))), std::move(range));
  EXPECT_EQ(outcome.ending, Ending::bodyUnreadable);
  EXPECT_EQ(outcome.text, QStringLiteral("The file is shorter than the range to send."));
}

TEST_F(HttpBodyTransferTest, AnUnreachableServerIsAFailureWithLibcurlsWords) {
  QUrl url;
  {
    test::FakeUploadServer closed;  // a port nobody listens on any more
    url = closed.url(QStringLiteral("/x"));
  }
  const HttpBodyOutcome outcome = send(requestTo(url), bodyOf("body"));
  EXPECT_EQ(outcome.ending, Ending::failed);
  EXPECT_FALSE(outcome.text.isEmpty());
  EXPECT_NE(outcome.text, QStringLiteral("Unknown error"));
}

}  // namespace
}  // namespace pm
