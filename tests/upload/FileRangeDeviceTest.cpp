#include <gtest/gtest.h>

#include <QFile>
#include <QNetworkAccessManager>

#include "S3UploaderRig.h"
#include "support/FakeUploadServer.h"
#include "support/TestSupport.h"
#include "upload/BucketUploader.h"
#include "upload/FileRangeDevice.h"

namespace pm {
namespace {

using test::patternBytes;

constexpr qint64 kMiB = 1 << 20;

class FileRangeDeviceTest : public testing::Test {
 protected:
  test::TempRoot root_;
  const QByteArray source_ = patternBytes(9 * kMiB + 17);
  const QString path_ = root_.write(QStringLiteral("source.bin"), source_);
};

TEST_F(FileRangeDeviceTest, ReadsExactlyItsRangeFromAnyPosition) {
  const qint64 offset = 5 * kMiB + 3;
  const qint64 length = 4 * kMiB + 14;  // to the file's last byte
  FileRangeDevice range(path_, offset, length);
  ASSERT_TRUE(range.open(QIODevice::ReadOnly));
  EXPECT_FALSE(range.isSequential());
  EXPECT_EQ(range.size(), length);
  EXPECT_EQ(range.readAll(), source_.mid(offset, length));
  EXPECT_TRUE(range.atEnd());

  ASSERT_TRUE(range.seek(length - 10));
  EXPECT_EQ(range.read(100), source_.mid(offset + length - 10, 10));
  ASSERT_TRUE(range.seek(0));
  EXPECT_EQ(range.read(7), source_.mid(offset, 7));
  EXPECT_FALSE(range.seek(length + 1));
  EXPECT_FALSE(range.endedEarly());
}

TEST_F(FileRangeDeviceTest, ARangePastTheEndOfTheFileDoesNotOpen) {
  FileRangeDevice range(path_, 8 * kMiB, 2 * kMiB);
  EXPECT_FALSE(range.open(QIODevice::ReadOnly));
  EXPECT_TRUE(range.endedEarly());

  FileRangeDevice missing(root_.file(QStringLiteral("gone")), 0, 10);
  EXPECT_FALSE(missing.open(QIODevice::ReadOnly));
  EXPECT_FALSE(missing.endedEarly());
}

TEST_F(FileRangeDeviceTest, IsNeverWritable) {
  for (const QIODevice::OpenMode mode : {QIODevice::WriteOnly, QIODevice::ReadWrite, QIODevice::Append}) {
    FileRangeDevice range(path_, 0, 10);
    EXPECT_FALSE(range.open(mode));
  }
  EXPECT_EQ(QFile(path_).size(), source_.size());
}

TEST_F(FileRangeDeviceTest, AFileThatShrinksWhileItIsReadFailsTheRead) {
  FileRangeDevice range(path_, kMiB, 4 * kMiB);
  ASSERT_TRUE(range.open(QIODevice::ReadOnly));
  ASSERT_TRUE(QFile::resize(path_, 2 * kMiB));
  const QByteArray first = range.read(kMiB);
  EXPECT_EQ(first, source_.mid(kMiB, kMiB));
  EXPECT_EQ(range.read(kMiB), QByteArray());
  EXPECT_TRUE(range.endedEarly());
}

// The bytes on the wire are the range's, announced with its length.
TEST_F(FileRangeDeviceTest, IsSentAsTheBodyOfAnUpload) {
  test::FakeUploadServer server;
  QNetworkAccessManager network;
  BucketUploader uploader(network);
  auto range = std::make_unique<FileRangeDevice>(path_, 3 * kMiB + 1, 2 * kMiB + 5);
  ASSERT_TRUE(range->open(QIODevice::ReadOnly));
  const UploadDestination destination{QUuid::createUuid(), server.url(QStringLiteral("/part")), QStringLiteral("PUT"), {}};
  std::vector<double> progress;

  test::wait(uploader.uploadBody(std::move(range), PartPosition{1, 4}, destination,
                                 [&](double fraction) { progress.push_back(fraction); }));

  const test::FakeUploadServer::Request sent = server.requests().value(0);
  EXPECT_EQ(sent.headers.value("content-length"), QByteArray::number(2 * kMiB + 5));
  EXPECT_TRUE(sent.body == source_.mid(3 * kMiB + 1, 2 * kMiB + 5));
  ASSERT_FALSE(progress.empty());
  EXPECT_DOUBLE_EQ(progress.back(), 0.5);
}

}  // namespace
}  // namespace pm
