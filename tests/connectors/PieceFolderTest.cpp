#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "UploadErrorPrinting.h"
#include "connectors/PieceFolder.h"

namespace pm {
namespace {

TEST(PieceFolderTest, IsAPrivateFolderThatGoesAwayWithItsPieces) {
  QTemporaryDir shared;
  QString folder;
  {
    const PieceFolder pieces(shared.path());
    const QString piece = pieces.filePath(QStringLiteral("pmr-dropbox-X"));
    folder = QFileInfo(piece).absolutePath();
    EXPECT_EQ(QFileInfo(piece).fileName(), QStringLiteral("pmr-dropbox-X"));
    EXPECT_EQ(QFileInfo(folder).absolutePath(), QFileInfo(shared.path()).absoluteFilePath());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    QFile file(piece);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  EXPECT_FALSE(QFileInfo::exists(folder));
  EXPECT_TRUE(QDir(shared.path()).isEmpty());
}

TEST(PieceFolderTest, AFolderThatCannotBeMadeIsAnError) {
  EXPECT_THROW(PieceFolder(QStringLiteral("/proc/no-such-place")), UploadError);
}

}  // namespace
}  // namespace pm
