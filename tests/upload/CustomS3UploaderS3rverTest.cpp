#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTimer>

#include "S3UploaderRig.h"
#include "support/RecordingProxy.h"
#include "support/S3rverPeer.h"

namespace pm {
namespace {

using test::failureOf;
using test::patternBytes;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const QString kBucket = QStringLiteral("parcelmoor-test");

// Uploads against s3rver, a real S3-compatible server, through a proxy that logs each request (and can
// spoil an answer). One server serves the whole suite; each test writes under a key prefix of its own.
class CustomS3UploaderS3rver : public testing::Test {
 protected:
  static void SetUpTestSuite() { peer_ = new test::S3rverPeer({kBucket}); }
  static void TearDownTestSuite() {
    delete peer_;
    peer_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(peer_->failure().isEmpty()) << peer_->failure().toStdString();
    proxy_ = std::make_unique<test::RecordingProxy>(peer_->port());
    rig_ = std::make_unique<test::S3UploaderRig>(proxy_->endpoint(), kBucket);
    rig_->config.keyPrefix = QString::fromLatin1(testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  std::unique_ptr<CustomS3Uploader> uploader(qint64 partSize = test::S3UploaderRig::kDefaultPartSize,
                                             qint64 threshold = test::S3UploaderRig::kDefaultThreshold) {
    return rig_->uploader(clock_, partSize, threshold);
  }

  // Registers one unit and returns its destination.
  UploadDestination destinationOf(CustomS3Uploader& s3, const UploadUnit& unit) {
    const Registration registration = test::wait(s3.registerUnits({unit}));
    EXPECT_EQ(registration.destinations.size(), 1);
    return registration.destinations.value(0);
  }

  static QString requestLine(const char* method, const QString& key, const char* query = nullptr) {
    QString line = QString::fromLatin1(method) + QLatin1Char(' ') + QLatin1Char('/') + kBucket + QLatin1Char('/') + key;
    if (query) line += QLatin1String(" ?") + QLatin1String(query);
    return line;
  }

  static test::S3rverPeer* peer_;
  std::unique_ptr<test::RecordingProxy> proxy_;
  std::unique_ptr<test::S3UploaderRig> rig_;
  // s3rver refuses presigned URLs whose time is up, so the clock starts at the real time.
  test::ManualClock clock_{QDateTime::currentDateTimeUtc()};
};

test::S3rverPeer* CustomS3UploaderS3rver::peer_ = nullptr;

TEST_F(CustomS3UploaderS3rver, ABucketOfFilesGoesUpAsSinglePutsUnderItsFolder) {
  auto s3 = uploader();
  const QList<std::pair<QString, QByteArray>> files{
      {QStringLiteral("report.pdf"), patternBytes(3000, 1)},
      {QStringLiteral("a/notes.txt"), patternBytes(700, 2)},
      {QStringLiteral("a/notes.txt"), patternBytes(900, 3)},
      {QStringLiteral("photo one.jpg"), patternBytes(1500, 4)},
      {QStringLiteral("empty.txt"), QByteArray()},
  };
  QList<UploadUnit> units;
  for (const auto& [path, bytes] : files) units.append(rig_->unit(path, bytes));
  const Registration registration = test::wait(s3->registerUnits(units));
  ASSERT_EQ(registration.destinations.size(), units.size());

  // Side by side, as the session runs them.
  std::vector<QCoro::Task<>> uploads;
  for (int i = 0; i < units.size(); ++i) uploads.push_back(s3->upload(units[i], registration.destinations[i], {}, {}));
  for (QCoro::Task<>& upload : uploads) test::wait(std::move(upload));

  const QString folder = s3->folder();
  EXPECT_TRUE(folder.startsWith(QStringLiteral("ABucketOfFilesGoesUpAsSinglePutsUnderItsFolder/")));
  const QStringList keys{folder + QStringLiteral("report.pdf"), folder + QStringLiteral("a/notes.txt"),
                         folder + QStringLiteral("a/notes 2.txt"), folder + QStringLiteral("photo one.jpg"),
                         folder + QStringLiteral("empty.txt")};
  QStringList sorted = keys;
  sorted.sort();
  EXPECT_EQ(peer_->keys(kBucket, folder), sorted);
  for (int i = 0; i < keys.size(); ++i) EXPECT_EQ(peer_->object(kBucket, keys[i]), files[i].second) << keys[i].toStdString();
  for (const QString& line : proxy_->summary()) EXPECT_TRUE(line.startsWith(QLatin1String("PUT "))) << line.toStdString();
  EXPECT_EQ(proxy_->summary().size(), keys.size());
}

TEST_F(CustomS3UploaderS3rver, ALargerFileGoesUpInPartsAndReadsBackEqual) {
  constexpr qint64 kPart = 1024;
  auto s3 = uploader(kPart, 3 * kPart);
  const UploadUnit atThreshold = rig_->unit(QStringLiteral("edge.bin"), patternBytes(3 * kPart, 5));
  const UploadUnit large = rig_->unit(QStringLiteral("large.bin"), patternBytes(4 * kPart - 100, 6));

  test::wait(s3->upload(atThreshold, destinationOf(*s3, atThreshold), {}, {}));
  std::vector<double> progress;
  test::wait(s3->upload(large, destinationOf(*s3, large), [&](double f) { progress.push_back(f); }, {}));

  const QString key = s3->folder() + QStringLiteral("large.bin");
  EXPECT_THAT(proxy_->summary(),
              ElementsAre(requestLine("PUT", s3->folder() + QStringLiteral("edge.bin")),
                          requestLine("POST", key, "uploads"), requestLine("PUT", key, "partNumber&uploadId"),
                          requestLine("PUT", key, "partNumber&uploadId"), requestLine("PUT", key, "partNumber&uploadId"),
                          requestLine("PUT", key, "partNumber&uploadId"), requestLine("POST", key, "uploadId")));
  EXPECT_EQ(peer_->object(kBucket, key), patternBytes(4 * kPart - 100, 6));
  EXPECT_EQ(peer_->object(kBucket, s3->folder() + QStringLiteral("edge.bin")), patternBytes(3 * kPart, 5));

  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  for (const double stored : {0.25, 0.5, 0.75, 1.0})
    EXPECT_NE(std::find(progress.begin(), progress.end(), stored), progress.end()) << stored;
  EXPECT_FALSE(s3->hasOpenMultipart(large.id));
}

TEST_F(CustomS3UploaderS3rver, APartWithoutAnETagAbortsTheUpload) {
  proxy_->setRewrite([](const test::RecordingProxy::Request& request, test::RecordingProxy::Answer& answer) {
    if (request.query.value(QStringLiteral("partNumber")) == QLatin1String("2")) answer.headers.remove("ETag");
  });
  auto s3 = uploader(1000, 0);
  const UploadUnit unit = rig_->unit(QStringLiteral("big.bin"), patternBytes(2500));
  const UploadError error = failureOf(s3->upload(unit, destinationOf(*s3, unit), {}, {}));

  EXPECT_EQ(error.kind(), UploadError::Kind::transport);
  EXPECT_EQ(error.message(), QStringLiteral("The storage service did not confirm every part."));
  const QString key = s3->folder() + QStringLiteral("big.bin");
  EXPECT_THAT(proxy_->summary(),
              ElementsAre(requestLine("POST", key, "uploads"), requestLine("PUT", key, "partNumber&uploadId"),
                          requestLine("PUT", key, "partNumber&uploadId"), requestLine("DELETE", key, "uploadId")));
  EXPECT_EQ(proxy_->requests().last().query.value(QStringLiteral("uploadId")),
            proxy_->requests().value(1).query.value(QStringLiteral("uploadId")));
  EXPECT_FALSE(s3->hasOpenMultipart(unit.id));
  EXPECT_FALSE(peer_->object(kBucket, key));
}

TEST_F(CustomS3UploaderS3rver, AFileThatShrinksDuringTheUploadIsAbortedNotStoredShort) {
  auto s3 = uploader(1000, 0);
  const UploadUnit unit = rig_->unit(QStringLiteral("shrinking.bin"), patternBytes(3000));
  // Once the first part is stored, the file loses its tail.
  const auto shrink = [&unit](double fraction) {
    if (fraction >= 1.0 / 3.0) QFile::resize(unit.url, 1500);
  };
  const UploadError error = failureOf(s3->upload(unit, destinationOf(*s3, unit), shrink, {}));

  EXPECT_EQ(error.message(), QStringLiteral("This file changed while it was being uploaded."));
  const QString key = s3->folder() + QStringLiteral("shrinking.bin");
  EXPECT_EQ(proxy_->summary().last(), requestLine("DELETE", key, "uploadId"));
  EXPECT_EQ(proxy_->summary().count(requestLine("POST", key, "uploadId")), 0);
  EXPECT_FALSE(peer_->object(kBucket, key));
}

TEST_F(CustomS3UploaderS3rver, AnErrorDocumentAnsweringTheCompletionAborts) {
  proxy_->setRewrite([](const test::RecordingProxy::Request& request, test::RecordingProxy::Answer& answer) {
    if (request.method == "POST" && request.query.contains(QStringLiteral("uploadId")))
      answer = {200, {{"Content-Type", "application/xml"}},
                "<Error><Code>InternalError</Code><Message>Please try again.</Message></Error>"};
  });
  auto s3 = uploader(1000, 0);
  const UploadUnit unit = rig_->unit(QStringLiteral("big.bin"), patternBytes(1500));
  const UploadError error = failureOf(s3->upload(unit, destinationOf(*s3, unit), {}, {}));

  EXPECT_EQ(error.kind(), UploadError::Kind::rejected);
  EXPECT_EQ(error.message(), QStringLiteral("Please try again."));
  EXPECT_EQ(proxy_->summary().last(), requestLine("DELETE", s3->folder() + QStringLiteral("big.bin"), "uploadId"));
  EXPECT_FALSE(s3->hasOpenMultipart(unit.id));
}

TEST_F(CustomS3UploaderS3rver, MoreThanTenThousandPartsAreRefusedWithoutARequest) {
  auto s3 = uploader(1, 0);
  const UploadUnit unit = rig_->unit(QStringLiteral("many.bin"), patternBytes(10'001));
  const UploadError error = failureOf(s3->upload(unit, destinationOf(*s3, unit), {}, {}));

  EXPECT_EQ(error.kind(), UploadError::Kind::rejected);
  EXPECT_EQ(error.message(), QStringLiteral("This file is too large for the bucket's part limit."));
  EXPECT_TRUE(proxy_->summary().isEmpty());
}

TEST_F(CustomS3UploaderS3rver, WithdrawingAnOpenMultipartUploadAbortsItThenDeletesTheObject) {
  auto s3 = uploader(1000, 0);
  const UploadUnit unit = rig_->unit(QStringLiteral("removed.bin"), patternBytes(3000));
  const CancelTokenPtr cancel = makeCancelToken();
  std::optional<QCoro::Task<>> withdrawal;
  bool removing = false;
  QObject context;
  // The user removes the item once its first part is up: the session (a step later on the event loop, as
  // it hears of progress) cancels the upload and withdraws the unit.
  const auto remove = [&](double fraction) {
    if (fraction < 1.0 / 3.0 || std::exchange(removing, true)) return;
    QTimer::singleShot(0, &context, [&] {
      EXPECT_TRUE(s3->hasOpenMultipart(unit.id));
      cancel->cancel();
      withdrawal.emplace(s3->withdraw({unit}));
    });
  };
  const UploadError error = failureOf(s3->upload(unit, destinationOf(*s3, unit), remove, cancel));
  ASSERT_TRUE(test::runUntil([&] { return withdrawal.has_value(); }));
  test::wait(std::move(*withdrawal));

  EXPECT_EQ(error.kind(), UploadError::Kind::cancelled);
  const QString key = s3->folder() + QStringLiteral("removed.bin");
  const QStringList lines = proxy_->summary();
  // One abort from the withdrawal, one from the cancelled upload itself; the object goes after the first.
  EXPECT_EQ(lines.count(requestLine("DELETE", key, "uploadId")), 2) << lines.join(QLatin1Char('\n')).toStdString();
  EXPECT_GT(lines.indexOf(requestLine("DELETE", key)), lines.indexOf(requestLine("DELETE", key, "uploadId")));
  EXPECT_EQ(lines.count(requestLine("POST", key, "uploadId")), 0);
  EXPECT_FALSE(s3->hasOpenMultipart(unit.id));
  EXPECT_FALSE(peer_->object(kBucket, key));
}

}  // namespace
}  // namespace pm
