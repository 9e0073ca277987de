#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "connectors/DropboxContentHash.h"
#include "support/ReproducibleBytes.h"

namespace pm {
namespace {

// Answers worked out apart from this code (SHA-256 of the blocks' SHA-256 digests), at and around the
// 4 MiB block boundary.
TEST(DropboxContentHash, KnownAnswersAtAndAroundTheBlockBoundary) {
  const struct {
    QByteArray bytes;
    const char* hash;
  } table[] = {
      {QByteArray(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {QByteArray("abc"), "4f8b42c22dd3729b519ba6f68d2da7cc5b2d606d05daed5ad5128cc03e6c6358"},
      {test::reproducibleBytes(4 * 1024 * 1024, 7),
       "ddac973e98824361cc0bc79181a0eb11997b9f92d4a83bed7a92b314cd848704"},
      {test::reproducibleBytes(4 * 1024 * 1024 + 1, 7),
       "8cce3e06ee844fe9edafe5af68eb6fae4a85baa3ef2f0cfac8194774cdb70205"},
      {test::reproducibleBytes(9 * 1024 * 1024, 7),
       "ec1741874d70e302b1e64d983e1fd06426bade5570a241a3086bb359c1bb5e30"},
  };
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const auto& row : table) {
    SCOPED_TRACE(row.bytes.size());
    DropboxContentHash whole;
    whole.addData(row.bytes);
    EXPECT_EQ(whole.hex(), QString::fromLatin1(row.hash));
    // Pieces that do not divide a block.
    DropboxContentHash pieces;
    for (qsizetype at = 0; at < row.bytes.size(); at += 1'000'003) pieces.addData(row.bytes.mid(at, 1'000'003));
    EXPECT_EQ(pieces.hex(), QString::fromLatin1(row.hash));

    QFile file(dir.filePath(QString::number(row.bytes.size())));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(row.bytes);
    file.close();
    EXPECT_EQ(DropboxContentHash::ofFile(file.fileName()), QString::fromLatin1(row.hash));
  }
  EXPECT_FALSE(DropboxContentHash::ofFile(dir.filePath(QStringLiteral("missing"))));
}

}  // namespace
}  // namespace pm
