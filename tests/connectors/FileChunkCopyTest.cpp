#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

#include "LocalUnits.h"
#include "UploadErrorPrinting.h"
#include "connectors/FileChunkCopy.h"
#include "connectors/PieceFile.h"

namespace pm {
namespace {

using test::fileContents;

class FileChunkCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    // 10 MiB and a bit, so a piece spans several 4 MiB reads.
    source.resize(10 * 1024 * 1024 + 123);
    for (qsizetype i = 0; i < source.size(); ++i) source[i] = char(i * 7 + i / 4096);
    QFile file(sourcePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(source), source.size());
  }
  QString sourcePath() const { return dir.filePath(QStringLiteral("source.bin")); }
  QString piecePath() const { return dir.filePath(QStringLiteral("piece")); }

  QTemporaryDir dir;
  QByteArray source;
};

TEST_F(FileChunkCopyTest, CopiesPiecesInAnyOrderAndLeavesTheReaderAfterThePiece) {
  QFile reader(sourcePath());
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  struct Case {
    qint64 offset;
    qint64 length;
  };
  const Case cases[] = {{9 * 1024 * 1024, 1024 * 1024 + 123}, {0, 9 * 1024 * 1024}, {4194304, 1}, {500, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    copyFileChunk(reader, c.offset, c.length, piecePath());
    EXPECT_EQ(fileContents(piecePath()), source.mid(c.offset, c.length));
    EXPECT_TRUE(QFileInfo::exists(piecePath()));
    EXPECT_EQ(reader.pos(), c.offset + c.length);
    EXPECT_TRUE(reader.isOpen());
  }
  EXPECT_EQ(QFileInfo(piecePath()).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
}

TEST_F(FileChunkCopyTest, AShortReadIsAChangedFile) {
  QFile reader(sourcePath());
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  const qint64 offset = source.size() - 10;
  try {
    copyFileChunk(reader, offset, 11, piecePath());
    FAIL() << "a piece past the end was copied";
  } catch (const UploadError& error) {
    EXPECT_EQ(error, fileChangedWhileUploading());
    EXPECT_EQ(error.message(), QStringLiteral("This file changed while it was being uploaded."));
  }
}

TEST_F(FileChunkCopyTest, NeverWritesThroughALinkPlantedAtThePieceName) {
  const QString victim = dir.filePath(QStringLiteral("victim"));
  ASSERT_TRUE(QFile(victim).open(QIODevice::WriteOnly));
  ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(piecePath()).constData()), 0);

  QFile reader(sourcePath());
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  copyFileChunk(reader, 0, 100, piecePath());
  EXPECT_FALSE(QFileInfo(piecePath()).isSymLink());
  EXPECT_EQ(fileContents(piecePath()), source.left(100));
  EXPECT_EQ(QFileInfo(victim).size(), 0);
}

// An upload writes each piece over the one before it in the same file; a shorter piece must not keep the
// tail of a longer one.
TEST_F(FileChunkCopyTest, APieceFileWrittenOverHoldsOnlyTheLastPiece) {
  QFile reader(sourcePath());
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  PieceFile piece(piecePath());
  struct Case {
    qint64 offset;
    qint64 length;
  };
  const Case cases[] = {
      {0, 9 * 1024 * 1024}, {9 * 1024 * 1024, 1024 * 1024 + 123}, {77, 5}, {3, 6 * 1024 * 1024}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    copyFileChunk(reader, c.offset, c.length, piece);
    EXPECT_EQ(fileContents(piece.path()), source.mid(c.offset, c.length));
  }
}

TEST_F(FileChunkCopyTest, APieceFileIsNeverMadeWhereSomethingIsInTheWay) {
  const QString victim = dir.filePath(QStringLiteral("victim"));
  ASSERT_TRUE(QFile(victim).open(QIODevice::WriteOnly));
  const QString link = dir.filePath(QStringLiteral("planted-link"));
  ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(link).constData()), 0);
  for (const QString& path : {victim, link}) {
    SCOPED_TRACE(path.toStdString());
    try {
      PieceFile piece(path);
      FAIL() << "a piece file was opened over what was there";
    } catch (const UploadError& error) {
      EXPECT_EQ(error, temporaryCopyUnwritable());
    }
  }
  EXPECT_EQ(QFileInfo(victim).size(), 0);
}

TEST_F(FileChunkCopyTest, AnUnreadableSourceIsReported) {
  QFile reader(sourcePath());  // never opened
  try {
    copyFileChunk(reader, 0, 10, piecePath());
    FAIL() << "an unopened source was copied";
  } catch (const UploadError& error) {
    EXPECT_EQ(error, UploadError::fileUnreadable());
  }
}

}  // namespace
}  // namespace pm
