#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>

#include "support/TestSupport.h"
#include "upload/S3Multipart.h"

namespace pm {
namespace {

using s3multipart::FinishedPart;

constexpr qint64 kMiB = 1 << 20;
constexpr qint64 kPartSize = 64 * kMiB;

QByteArray pattern(qint64 size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (qint64 i = 0; i < size; ++i) bytes[i] = char((i * 131 + i / 251) & 0xFF);
  return bytes;
}

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(S3MultipartPartCount, RoundsUpToWholeParts) {
  struct Case {
    qint64 size;
    qint64 parts;
  };
  const Case cases[] = {
      {1, 1},
      {kPartSize, 1},
      {kPartSize + 1, 2},
      {5'368'709'121, 81},  // 80 full parts and one of a single byte
      {671'088'640'000, s3multipart::kMaxParts},
      {671'088'640'001, s3multipart::kMaxParts + 1},
  };
  for (const Case& c : cases) EXPECT_EQ(s3multipart::partCount(c.size, kPartSize), c.parts) << c.size;
}

TEST(S3MultipartCompletion, IsThePartElementsInOrderWithoutAnythingBetween) {
  const QList<FinishedPart> parts{{1, QStringLiteral("\"a1\"")}, {2, QStringLiteral("\"b2\"")},
                                  {3, QStringLiteral("\"c3\"")}};
  EXPECT_EQ(s3multipart::completeMultipartBody(parts).toStdString(),
            "<CompleteMultipartUpload>"
            "<Part><PartNumber>1</PartNumber><ETag>\"a1\"</ETag></Part>"
            "<Part><PartNumber>2</PartNumber><ETag>\"b2\"</ETag></Part>"
            "<Part><PartNumber>3</PartNumber><ETag>\"c3\"</ETag></Part>"
            "</CompleteMultipartUpload>");
}

TEST(S3MultipartCompletion, EscapesMarkupInETagsButNotQuotes) {
  EXPECT_EQ(s3multipart::partElement(7, QStringLiteral("\"a&b<c>&lt;\"")).toStdString(),
            "<Part><PartNumber>7</PartNumber><ETag>\"a&amp;b&lt;c&gt;&amp;lt;\"</ETag></Part>");
}

class PartFileCopy : public testing::Test {
 protected:
  test::TempRoot root_;
  // Larger than one copy slice, so a part takes several reads.
  const QByteArray source_ = pattern(9 * kMiB + 17);
  const QString sourcePath_ = root_.write(QStringLiteral("source.bin"), source_);
  const QString partPath_ = root_.file(QStringLiteral("s3-part"));
};

TEST_F(PartFileCopy, HoldsExactlyTheRequestedRangeAndReplacesWhatWasThere) {
  QFile reader(sourcePath_);
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  const qint64 offset = 5 * kMiB + 3;
  s3multipart::writePartFile(reader, offset, 4 * kMiB + 14, partPath_);
  EXPECT_EQ(contents(partPath_), source_.sliced(offset));

  s3multipart::writePartFile(reader, 0, 10, partPath_);
  EXPECT_EQ(contents(partPath_), source_.first(10));
}

TEST_F(PartFileCopy, OnlyTheOwnerMayReadThePartFile) {
  const mode_t previous = ::umask(022);
  QFile reader(sourcePath_);
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  s3multipart::writePartFile(reader, 0, 10, partPath_);
  ::umask(previous);
  EXPECT_EQ(QFile::permissions(partPath_) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(PartFileCopy, ASourceThatEndsEarlyIsAChangedFile) {
  QFile reader(sourcePath_);
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  try {
    s3multipart::writePartFile(reader, 8 * kMiB, 2 * kMiB, partPath_);
    ADD_FAILURE() << "no error";
  } catch (const UploadError& error) {
    EXPECT_EQ(error.kind(), UploadError::Kind::rejected);
    EXPECT_EQ(error.message().toStdString(), "This file changed while it was being uploaded.");
  }
}

TEST_F(PartFileCopy, APartFileThatCannotBeWrittenIsRefused) {
  QFile reader(sourcePath_);
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  EXPECT_THROW(s3multipart::writePartFile(reader, 0, 10, root_.file(QStringLiteral("missing/folder/s3-part"))),
               UploadError);
}

}  // namespace
}  // namespace pm
