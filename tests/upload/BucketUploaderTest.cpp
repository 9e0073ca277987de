#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QNetworkAccessManager>
#include <QRandomGenerator>

#include "support/EarlyAnswerServer.h"
#include "support/FakeUploadServer.h"
#include "support/StallingSink.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"
#include "upload/BucketUploader.h"

namespace pm {
namespace {

using ::testing::DoubleEq;
using ::testing::ElementsAre;
using ::testing::Ge;
using ::testing::Le;
using ::testing::Each;
using ::testing::AllOf;

using test::failureOf;

// --- the progress relay ---------------------------------------------------------------------------

struct RelayCase {
  const char* name;
  std::vector<std::pair<qint64, qint64>> callbacks;  // (bytes sent, bytes expected)
  std::vector<double> passedOn;
};

void PrintTo(const RelayCase& relayCase, std::ostream* out) { *out << relayCase.name; }

class ProgressRelayTest : public ::testing::TestWithParam<RelayCase> {};

TEST_P(ProgressRelayTest, PassesOnFractionsInHalfPercentSteps) {
  std::vector<double> passed;
  ProgressRelay relay([&passed](double fraction) { passed.push_back(fraction); });
  for (const auto& [sent, total] : GetParam().callbacks) relay.bodySent(sent, total);
  ASSERT_EQ(passed.size(), GetParam().passedOn.size());
  for (size_t i = 0; i < passed.size(); ++i) EXPECT_DOUBLE_EQ(passed[i], GetParam().passedOn[i]) << "report " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Throttle, ProgressRelayTest,
    ::testing::Values(
        RelayCase{"UnknownTotalIsIgnored", {{100, -1}, {500, -1}, {1000, -1}}, {}},
        RelayCase{"EmptyTotalIsIgnored", {{0, 0}, {0, 0}}, {}},
        RelayCase{"SmallFirstStepIsHeldBack", {{4, 1000}}, {}},
        RelayCase{"AStepOfHalfAPercentPasses", {{5, 1000}}, {0.005}},
        RelayCase{"StepsAreMeasuredFromTheLastReport",
                  {{3, 1000}, {6, 1000}, {9, 1000}, {12, 1000}, {20, 1000}},
                  {0.006, 0.012, 0.020}},
        RelayCase{"TheEndAlwaysPasses", {{998, 1000}, {1000, 1000}}, {0.998, 1.0}},
        RelayCase{"LargeStepsAllPass", {{250, 1000}, {500, 1000}, {1000, 1000}}, {0.25, 0.5, 1.0}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- progress of chunks and parts -----------------------------------------------------------------

TEST(UploadFractions, ChunksReportWholeBytesOfTheWholeFile) {
  const ByteRange second{100, 50, 200};
  EXPECT_DOUBLE_EQ(second.fractionOfWhole(0.0), 0.5);
  EXPECT_DOUBLE_EQ(second.fractionOfWhole(0.51), 0.625);  // 25.5 bytes count as 25
  EXPECT_DOUBLE_EQ(second.fractionOfWhole(1.0), 0.75);
  EXPECT_DOUBLE_EQ((ByteRange{0, 0, 0}.fractionOfWhole(0.4)), 0.4);
}

TEST(UploadFractions, PartsReportTheirShareOfTheWhole) {
  const PartPosition third{2, 4};
  EXPECT_DOUBLE_EQ(third.fractionOfWhole(0.0), 0.5);
  EXPECT_DOUBLE_EQ(third.fractionOfWhole(0.5), 0.625);
  EXPECT_DOUBLE_EQ(third.fractionOfWhole(1.0), 0.75);
}

// --- the base contract ----------------------------------------------------------------------------

TEST(BucketUploaderBase, AllowsRemovalFinishesWithDoneAndCannotRegister) {
  QNetworkAccessManager network;
  BucketUploader uploader(network);
  EXPECT_TRUE(uploader.allowsRemoval());
  EXPECT_EQ(test::wait(uploader.finalize()), ResponseItem::done());
  EXPECT_EQ(failureOf(uploader.registerUnits({UploadUnit{}})), UploadError::notImplemented());
  test::wait(uploader.withdraw({UploadUnit{}}));
}

// --- file uploads against a server ----------------------------------------------------------------

class FileUploadTest : public ::testing::Test {
 protected:
  UploadDestination destination(const QString& path, QString method = QStringLiteral("PUT")) const {
    UploadDestination target;
    target.url = server.url(path);
    target.method = std::move(method);
    return target;
  }

  QString fileOf(qsizetype size, const QString& name = QStringLiteral("payload.bin")) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& byte : bytes) byte = char(generator.bounded(256));
    return root.write(name, bytes);
  }

  ProgressCallback recorder() {
    return [this](double fraction) { reported.push_back(fraction); };
  }

  test::TempRoot root;
  test::FakeUploadServer server;
  QNetworkAccessManager network;
  BucketUploader uploader{network};
  std::vector<double> reported;
};

TEST_F(FileUploadTest, TheBodyArrivesByteForByteWithMethodAndHeaders) {
  const QString file = fileOf(3 * 1024 * 1024 + 17);
  UploadDestination target = destination(QStringLiteral("/files/a"), QStringLiteral("POST"));
  target.headers.insert(QStringLiteral("Content-Type"), QStringLiteral("image/jpeg"));
  target.headers.insert(QStringLiteral("X-Upload-Token"), QStringLiteral("t-1"));

  test::wait(uploader.uploadFile(file, target, recorder()));

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].headers.value("content-type"), "image/jpeg");
  EXPECT_EQ(requests[0].headers.value("x-upload-token"), "t-1");
  QFile original(file);
  ASSERT_TRUE(original.open(QIODevice::ReadOnly));
  EXPECT_TRUE(requests[0].body == original.readAll());
}

TEST_F(FileUploadTest, ProgressRisesInHalfPercentStepsAndEndsAtOne) {
  const QString file = fileOf(4 * 1024 * 1024);
  test::wait(uploader.uploadFile(file, destination(QStringLiteral("/big")), recorder()));

  ASSERT_GE(reported.size(), 2u);
  EXPECT_LE(reported.size(), 202u);
  for (size_t i = 1; i + 1 < reported.size(); ++i) EXPECT_GE(reported[i] - reported[i - 1], 0.005);
  EXPECT_DOUBLE_EQ(reported.back(), 1.0);
}

TEST_F(FileUploadTest, AnEmptyBodyReportsOnlyTheSuccess) {
  const QString file = root.write(QStringLiteral("empty"), {});
  test::wait(uploader.uploadFile(file, destination(QStringLiteral("/empty")), recorder()));
  EXPECT_THAT(reported, ElementsAre(DoubleEq(1.0)));
  EXPECT_TRUE(server.lastBody(QStringLiteral("/empty")).isEmpty());
}

TEST_F(FileUploadTest, AChunkReportsItsPlaceInTheWholeFile) {
  const QString file = fileOf(512 * 1024);
  test::wait(uploader.uploadFile(file, ByteRange{100, 50, 200}, destination(QStringLiteral("/chunk")),
                                     recorder()));
  ASSERT_FALSE(reported.empty());
  EXPECT_THAT(reported, Each(AllOf(Ge(0.5), Le(0.75))));
  EXPECT_DOUBLE_EQ(reported.back(), 0.75);
}

TEST_F(FileUploadTest, APartReportsItsShareOfTheWhole) {
  const QString file = fileOf(512 * 1024);
  test::wait(uploader.uploadFile(file, PartPosition{2, 4}, destination(QStringLiteral("/part")), recorder()));
  ASSERT_FALSE(reported.empty());
  EXPECT_THAT(reported, Each(AllOf(Ge(0.5), Le(0.75))));
  EXPECT_DOUBLE_EQ(reported.back(), 0.75);
}

TEST_F(FileUploadTest, TheAnswerIsReturnedWithItsHeaders) {
  test::FakeUploadServer::Answer answer;
  answer.status = 201;
  answer.headers.insert("ETag", "\"abc\"");
  server.setAnswer(QStringLiteral("/tagged"), answer);

  const UploadResponse response =
      test::wait(uploader.uploadFile(fileOf(10), destination(QStringLiteral("/tagged")), recorder()));
  EXPECT_EQ(response.status, 201);
  EXPECT_EQ(response.header("etag"), "\"abc\"");
  EXPECT_TRUE(response.header("x-absent").isEmpty());
}

struct StatusCase {
  int status;
  bool succeeds;
};

void PrintTo(const StatusCase& statusCase, std::ostream* out) { *out << "HTTP " << statusCase.status; }

class UploadStatusTest : public FileUploadTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(UploadStatusTest, OnlyTwoHundredsSucceed) {
  server.setStatus(QStringLiteral("/s"), GetParam().status);
  auto task = uploader.uploadFile(fileOf(64), destination(QStringLiteral("/s")), recorder());
  if (GetParam().succeeds) {
    EXPECT_EQ(test::wait(std::move(task)).status, GetParam().status);
    EXPECT_DOUBLE_EQ(reported.back(), 1.0);
  } else {
    EXPECT_EQ(failureOf(std::move(task)), UploadError::http(GetParam().status));
  }
}

INSTANTIATE_TEST_SUITE_P(Statuses, UploadStatusTest,
                         ::testing::Values(StatusCase{200, true}, StatusCase{204, true}, StatusCase{299, true},
                                           StatusCase{199, false}, StatusCase{300, false},
                                           StatusCase{404, false}, StatusCase{503, false}),
                         [](const auto& info) { return std::to_string(info.param.status); });

// Qt would resend a PUT as a bodiless GET after 301, 302 and 303 (and repeat it after 307 and 308); the
// 2xx of that second request must never read as "stored".
class RedirectedUploadTest : public FileUploadTest, public ::testing::WithParamInterface<int> {};

TEST_P(RedirectedUploadTest, TheRedirectIsTheAnswerAndNothingFollowsIt) {
  test::FakeUploadServer::Answer redirect;
  redirect.status = GetParam();
  redirect.headers.insert("Location", server.url(QStringLiteral("/elsewhere")).toEncoded());
  server.setAnswer(QStringLiteral("/moved"), redirect);

  EXPECT_EQ(failureOf(uploader.uploadFile(fileOf(1000), destination(QStringLiteral("/moved"), QStringLiteral("PUT")),
                                          recorder())),
            UploadError::http(GetParam()));
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1);
  EXPECT_EQ(requests[0].path, QStringLiteral("/moved"));
}

INSTANTIATE_TEST_SUITE_P(Statuses, RedirectedUploadTest, ::testing::Values(301, 302, 303, 307, 308));

TEST_F(FileUploadTest, AMissingFileIsUnreadableAndSendsNothing) {
  EXPECT_EQ(failureOf(uploader.uploadFile(root.file(QStringLiteral("gone")), destination(QStringLiteral("/x")),
                                          recorder())),
            UploadError::fileUnreadable());
  EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(FileUploadTest, ALocalDestinationIsNeverWritten) {
  UploadDestination target;
  target.url = QUrl::fromLocalFile(root.file(QStringLiteral("overwritten")));
  EXPECT_EQ(failureOf(uploader.uploadFile(fileOf(10), target, recorder())),
            UploadError::transport(QStringLiteral("The service sent an unexpected response.")));
  EXPECT_FALSE(QFile::exists(target.url.toLocalFile()));
}

TEST_F(FileUploadTest, AnIdleTransferTimesOut) {
  test::FakeUploadServer::Answer slow;
  slow.delay = std::chrono::seconds(5);
  server.setAnswer(QStringLiteral("/slow"), slow);
  uploader.setRequestTimeout(std::chrono::milliseconds(150));

  EXPECT_EQ(failureOf(uploader.uploadFile(fileOf(10), destination(QStringLiteral("/slow")), recorder())),
            UploadError::transport(QStringLiteral("The request timed out.")));
}

TEST_F(FileUploadTest, CancellingAbortsATransferWhoseBodyIsUnderWay) {
  test::StallingSink stalling;
  UploadDestination target;
  target.url = stalling.url();
  const CancelTokenPtr cancel = makeCancelToken();
  QTimer watch;  // cancels once the sink has the start of the body
  QObject::connect(&watch, &QTimer::timeout, cancel.get(), [&] {
    if (!stalling.received().isEmpty()) cancel->cancel();
  });
  watch.start(10);

  EXPECT_EQ(failureOf(uploader.uploadFile(fileOf(16 * 1024 * 1024), target, recorder(), cancel)),
            UploadError::cancelled());
}

// The service may have stored a body that went out whole; its answer says so and names what was stored.
TEST_F(FileUploadTest, CancellingAfterTheWholeBodyWentOutReturnsTheServicesAnswer) {
  const struct {
    int status;
    bool stored;
  } table[] = {{201, true}, {503, false}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.status);
    const QString path = QStringLiteral("/held-%1").arg(row.status);
    test::FakeUploadServer::Answer held;
    held.status = row.status;
    held.body = R"({"id":"file-7"})";
    held.delay = std::chrono::milliseconds(500);
    server.setAnswer(path, held);
    const CancelTokenPtr cancel = makeCancelToken();
    QTimer watch;  // cancels once the server has the whole request
    QObject::connect(&watch, &QTimer::timeout, cancel.get(), [&] {
      if (!server.requests().isEmpty() && server.requests().last().path == path) cancel->cancel();
    });
    watch.start(5);

    auto task = uploader.uploadFile(fileOf(10), destination(path), recorder(), cancel);
    if (row.stored) {
      EXPECT_EQ(test::wait(std::move(task), std::chrono::seconds(30)).body, held.body);
    } else {
      EXPECT_EQ(failureOf(std::move(task)), UploadError::cancelled());
    }
    EXPECT_TRUE(cancel->isCancelled());
  }
}

TEST_F(FileUploadTest, AnAlreadyCancelledUploadSendsNothing) {
  const CancelTokenPtr cancel = makeCancelToken();
  cancel->cancel();
  EXPECT_EQ(failureOf(uploader.uploadFile(fileOf(10), destination(QStringLiteral("/x")), recorder(), cancel)),
            UploadError::cancelled());
  EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(FileUploadTest, ANetworkFailureIsATransportErrorWithTheSystemText) {
  UploadDestination target = destination(QStringLiteral("/x"));
  {
    test::FakeUploadServer closed;  // a port that nobody listens on any more
    target.url = closed.url(QStringLiteral("/x"));
  }
  const UploadError error = failureOf(uploader.uploadFile(fileOf(10), target, recorder()));
  EXPECT_EQ(error.kind(), UploadError::Kind::transport);
  EXPECT_FALSE(error.text().isEmpty());
  EXPECT_NE(error.text(), QStringLiteral("The service sent an unexpected response."));
}

// Qt drops an answer that arrives while it is still writing the body and calls the reset connection
// "Unknown error"; the user gets words to act on instead.
TEST_F(FileUploadTest, AServerThatAnswersAndClosesBeforeTheBodyIsInIsNeverAnUnknownError) {
  test::EarlyAnswerServer refusing("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  UploadDestination target = destination(QStringLiteral("/x"));
  target.url = refusing.url(QStringLiteral("/x"));

  const UploadError error = failureOf(uploader.uploadFile(fileOf(32 * 1024 * 1024), target, recorder()));
  EXPECT_EQ(refusing.requestCount(), 1);
  EXPECT_EQ(error, UploadError::transport(BucketUploader::cutOffText()));
  EXPECT_EQ(error.text(), QStringLiteral("The server closed the connection without an answer. It may have refused "
                                         "the upload; check the connection's settings and try again."));
}

TEST_F(FileUploadTest, TheBaseUploadSendsTheUnitsFile) {
  UploadUnit unit;
  unit.url = fileOf(1000);
  unit.relativePath = QStringLiteral("payload.bin");
  unit.size = 1000;
  test::wait(uploader.upload(unit, destination(QStringLiteral("/unit")), recorder(), {}));
  EXPECT_EQ(server.lastBody(QStringLiteral("/unit")).size(), 1000);
  EXPECT_DOUBLE_EQ(reported.back(), 1.0);
}

}  // namespace
}  // namespace pm
