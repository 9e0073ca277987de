#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include "support/TestSupport.h"
#include "upload/UploadUnits.h"

namespace pm {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

class UploadUnitsTest : public ::testing::Test {
 protected:
  Bucket::ItemPointer item(const QString& relative) const {
    return std::make_shared<BucketItem>(root.file(relative), QDateTime::currentDateTimeUtc());
  }

  void link(const QString& target, const QString& relative) const {
    ASSERT_TRUE(QFile::link(target, root.file(relative))) << qPrintable(relative);
  }

  void makeFolder(const QString& relative) const { ASSERT_TRUE(QDir().mkpath(root.file(relative))); }

  static UnitExpansion expand(QList<Bucket::ItemPointer> items) {
    return test::wait(makeUploadUnits(std::move(items)));
  }

  static QStringList relativePaths(const QList<UploadUnit>& units) {
    QStringList paths;
    for (const UploadUnit& unit : units) paths.append(unit.relativePath);
    return paths;
  }

  test::TempRoot root;
};

TEST_F(UploadUnitsTest, AFolderYieldsItsFilesUnderItsOwnName) {
  const QString deep = root.write(QStringLiteral("Photos/a/b/c.jpg"), "jpeg-bytes");
  const QString top = root.write(QStringLiteral("Photos/x.txt"), "x");
  const auto photos = item(QStringLiteral("Photos"));

  const UnitExpansion result = expand({photos});

  EXPECT_THAT(result.errors, IsEmpty());
  ASSERT_EQ(result.units.size(), 2);
  for (const UploadUnit& unit : result.units) {
    EXPECT_EQ(unit.itemID, photos->id());
    EXPECT_FALSE(unit.id.isNull());
    if (unit.relativePath == QStringLiteral("Photos/a/b/c.jpg")) {
      EXPECT_EQ(unit.url, deep);
      EXPECT_EQ(unit.size, 10);
    } else {
      EXPECT_EQ(unit.relativePath, QStringLiteral("Photos/x.txt"));
      EXPECT_EQ(unit.url, top);
      EXPECT_EQ(unit.size, 1);
    }
  }
  EXPECT_NE(result.units[0].id, result.units[1].id);
}

TEST_F(UploadUnitsTest, AFolderWrittenWithATrailingSlashKeepsItsName) {
  root.write(QStringLiteral("Photos/x.txt"), "x");
  const UnitExpansion result = expand({item(QStringLiteral("Photos/"))});
  EXPECT_THAT(relativePaths(result.units), ElementsAre(QStringLiteral("Photos/x.txt")));
}

// A batch path ending in "/.." or "/." names the folder it leads to: no "." or ".." piece reaches a unit,
// where a remote path would resolve it and land the file outside the bucket's folder.
TEST_F(UploadUnitsTest, AFolderWrittenWithDotPiecesGoesByTheFolderItIs) {
  root.write(QStringLiteral("Outer/inner.txt"), "inner");
  root.write(QStringLiteral("Outer/Sub/deeper.txt"), "deeper");
  const struct {
    const char* path;
  } table[] = {{"Outer/Sub/.."}, {"Outer/."}, {"Outer/./Sub/../"}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.path);
    const UnitExpansion result = expand({item(QString::fromLatin1(row.path))});
    EXPECT_THAT(relativePaths(result.units),
                UnorderedElementsAre(QStringLiteral("Outer/inner.txt"), QStringLiteral("Outer/Sub/deeper.txt")));
  }
}

TEST_F(UploadUnitsTest, HiddenEntriesAndEmptyFoldersMakeAnEmptyFolder) {
  root.write(QStringLiteral("Drop/.DS_Store"), "meta");
  root.write(QStringLiteral("Drop/.git/config"), "hidden folder");
  makeFolder(QStringLiteral("Drop/empty/deeper"));
  const auto drop = item(QStringLiteral("Drop"));

  const UnitExpansion result = expand({drop});

  EXPECT_THAT(result.units, IsEmpty());
  ASSERT_EQ(result.errors.size(), 1);
  EXPECT_EQ(result.errors.value(drop->id(), UploadError::notImplemented()), UploadError::emptyFolder());
}

TEST_F(UploadUnitsTest, LinksAndSpecialFilesInsideAFolderYieldNothing) {
  root.write(QStringLiteral("Drop/real.txt"), "real");
  root.write(QStringLiteral("Drop/sub/inner.txt"), "inner");
  root.write(QStringLiteral("Elsewhere/outside.txt"), "outside");
  link(root.file(QStringLiteral("Drop/real.txt")), QStringLiteral("Drop/to-file-inside"));
  link(root.file(QStringLiteral("Drop/sub")), QStringLiteral("Drop/to-folder-inside"));
  link(root.file(QStringLiteral("Elsewhere/outside.txt")), QStringLiteral("Drop/to-file-outside"));
  link(root.file(QStringLiteral("Elsewhere")), QStringLiteral("Drop/to-folder-outside"));
  link(root.file(QStringLiteral("nowhere")), QStringLiteral("Drop/dangling"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(root.file(QStringLiteral("Drop/pipe"))).constData(), 0600), 0);

  const UnitExpansion result = expand({item(QStringLiteral("Drop"))});

  EXPECT_THAT(relativePaths(result.units),
              UnorderedElementsAre(QStringLiteral("Drop/real.txt"), QStringLiteral("Drop/sub/inner.txt")));
}

TEST_F(UploadUnitsTest, AFolderReachedThroughALinkedParentKeepsItsOwnName) {
  root.write(QStringLiteral("real/Photos/a/c.jpg"), "c");
  link(root.file(QStringLiteral("real")), QStringLiteral("linked"));

  const UnitExpansion result = expand({item(QStringLiteral("linked/Photos"))});

  ASSERT_EQ(result.units.size(), 1);
  EXPECT_EQ(result.units[0].relativePath, QStringLiteral("Photos/a/c.jpg"));
  EXPECT_EQ(result.units[0].url, root.file(QStringLiteral("linked/Photos/a/c.jpg")));
}

TEST_F(UploadUnitsTest, AnUnreadableItemFailsAloneAndOrderIsKept) {
  const QString vanished = root.write(QStringLiteral("A.txt"), "a");
  root.write(QStringLiteral("B/one.txt"), "1");
  root.write(QStringLiteral("C.txt"), "c");
  link(root.file(QStringLiteral("nowhere")), QStringLiteral("D.txt"));
  const auto a = item(QStringLiteral("A.txt"));
  const auto b = item(QStringLiteral("B"));
  const auto c = item(QStringLiteral("C.txt"));
  const auto d = item(QStringLiteral("D.txt"));
  ASSERT_TRUE(QFile::remove(vanished));

  const UnitExpansion result = expand({a, b, c, d});

  EXPECT_THAT(relativePaths(result.units), ElementsAre(QStringLiteral("B/one.txt"), QStringLiteral("C.txt")));
  EXPECT_EQ(result.units[0].itemID, b->id());
  EXPECT_EQ(result.units[1].itemID, c->id());
  EXPECT_EQ(result.errors.size(), 2);
  EXPECT_EQ(result.errors.value(a->id(), UploadError::notImplemented()), UploadError::fileUnreadable());
  EXPECT_EQ(result.errors.value(d->id(), UploadError::notImplemented()), UploadError::fileUnreadable());
}

TEST_F(UploadUnitsTest, ADroppedPipeOrDeviceIsUnreadable) {
  ASSERT_EQ(::mkfifo(QFile::encodeName(root.file(QStringLiteral("pipe"))).constData(), 0600), 0);
  const auto pipe = item(QStringLiteral("pipe"));
  const auto device = std::make_shared<BucketItem>(QStringLiteral("/dev/zero"), QDateTime::currentDateTimeUtc());

  const UnitExpansion result = expand({pipe, device});

  EXPECT_THAT(result.units, IsEmpty());
  EXPECT_EQ(result.errors.value(pipe->id(), UploadError::notImplemented()), UploadError::fileUnreadable());
  EXPECT_EQ(result.errors.value(device->id(), UploadError::notImplemented()), UploadError::fileUnreadable());
}

TEST_F(UploadUnitsTest, AZeroByteFileIsAUnitOfSizeZero) {
  const QString empty = root.write(QStringLiteral("empty.log"), {});
  const auto dropped = item(QStringLiteral("empty.log"));

  const UnitExpansion result = expand({dropped});

  EXPECT_THAT(result.errors, IsEmpty());
  ASSERT_EQ(result.units.size(), 1);
  EXPECT_EQ(result.units[0].size, 0);
  EXPECT_EQ(result.units[0].url, empty);
  EXPECT_EQ(result.units[0].relativePath, QStringLiteral("empty.log"));
  EXPECT_EQ(result.units[0].itemID, dropped->id());
}

TEST_F(UploadUnitsTest, EveryExpansionMakesFreshUnits) {
  root.write(QStringLiteral("file.txt"), "x");
  const auto dropped = item(QStringLiteral("file.txt"));
  const UnitExpansion first = expand({dropped});
  const UnitExpansion second = expand({dropped});
  ASSERT_EQ(first.units.size(), 1);
  ASSERT_EQ(second.units.size(), 1);
  EXPECT_NE(first.units[0], second.units[0]);
  EXPECT_EQ(first.units[0].relativePath, second.units[0].relativePath);
}

TEST_F(UploadUnitsTest, AFolderThatVanishedIsEmpty) {
  makeFolder(QStringLiteral("Gone"));
  const auto gone = item(QStringLiteral("Gone"));
  ASSERT_TRUE(QDir(root.file(QStringLiteral("Gone"))).removeRecursively());

  const UnitExpansion result = expand({gone});
  EXPECT_EQ(result.errors.value(gone->id(), UploadError::notImplemented()), UploadError::emptyFolder());
}

}  // namespace
}  // namespace pm
