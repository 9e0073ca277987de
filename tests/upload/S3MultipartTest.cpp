#include <gtest/gtest.h>

#include "upload/S3Multipart.h"

namespace pm {
namespace {

using s3multipart::FinishedPart;

constexpr qint64 kMiB = 1 << 20;
constexpr qint64 kPartSize = 64 * kMiB;

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

}  // namespace
}  // namespace pm
