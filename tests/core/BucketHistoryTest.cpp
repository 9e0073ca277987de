#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/Bucket.h"
#include "core/BucketHistory.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

const QByteArray kGoodRecordA =
    R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-111111111111","createdAt":"2024-02-01T10:00:00Z",)"
    R"("completedAt":"2024-02-01T10:05:00Z","itemCount":3,"shareURL":"https://share.example/a","isClosed":false})";
const QByteArray kGoodRecordB =
    R"({"id":"6f1c3b0e-2d4a-4c55-9e0f-222222222222","createdAt":"2024-02-02T10:00:00+02:00",)"
    R"("completedAt":"2024-02-02T10:05:00Z","itemCount":1,"isClosed":false,"extra":true})";

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

unsigned modeOf(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

QStringList asideCopies(const QString& historyFile) {
  const QFileInfo info(historyFile);
  return info.dir().entryList({info.fileName() + QLatin1String(".unreadable-*")}, QDir::AllEntries,
                              QDir::Name);
}

class BucketHistoryTest : public ::testing::Test {
 protected:
  QString path() const { return root.paths().historyFile(); }
  // A bucket of `items` files, made now and finished a minute later.
  std::unique_ptr<Bucket> finishedBucket(int items) {
    auto bucket = std::make_unique<Bucket>(clock);
    QStringList urls;
    for (int i = 0; i < items; ++i) urls.append(root.file(QStringLiteral("file-%1.txt").arg(i)));
    bucket->add(urls);
    clock.advance(60s);
    return bucket;
  }

  test::TempRoot root;
  test::ManualClock clock;
};

TEST_F(BucketHistoryTest, NoFileStartsEmptyAndCreatesNothingUntilTheFirstRecord) {
  BucketHistory history(path(), clock);
  EXPECT_TRUE(history.records().isEmpty());
  EXPECT_FALSE(QFileInfo::exists(root.paths().applicationSupport));

  history.record(*finishedBucket(1), std::nullopt);
  EXPECT_TRUE(QFileInfo::exists(path()));
}

TEST_F(BucketHistoryTest, RecordWithoutLinkHasNoShareURLKey) {
  BucketHistory history(path(), clock);
  const auto bucket = finishedBucket(2);
  history.record(*bucket, std::nullopt);

  const QString expected =
      QStringLiteral(R"([{"id":"%1","createdAt":"2024-03-01T12:00:00Z","completedAt":"2024-03-01T12:01:00Z",)"
                     R"("itemCount":2,"isClosed":false}])")
          .arg(bucket->id().toString(QUuid::WithoutBraces).toUpper());
  EXPECT_EQ(QString::fromUtf8(readAll(path())), expected);

  const BucketRecord record{bucket->id(), clock.now().addSecs(-60), clock.now(), 2, std::nullopt, false};
  EXPECT_EQ(history.records(), QList<BucketRecord>{record});
  EXPECT_EQ(BucketHistory(path(), clock).records(), history.records());
}

TEST_F(BucketHistoryTest, RecordsAppendInCompletionOrderAndReadBack) {
  BucketHistory history(path(), clock);
  int recordsChanged = 0;
  QObject::connect(&history, &BucketHistory::recordsChanged, &history, [&] { ++recordsChanged; });

  const auto first = finishedBucket(3);
  first->removeItem(first->items().at(0)->id());  // gone before completion: not counted
  history.record(*first, QUrl(QStringLiteral("https://share.example/b/x%20y?k=1")));
  const auto second = finishedBucket(0);
  history.record(*second, std::nullopt);

  EXPECT_EQ(recordsChanged, 2);
  ASSERT_EQ(history.records().size(), 2);
  EXPECT_EQ(history.records().at(0).id, first->id());
  EXPECT_EQ(history.records().at(0).itemCount, 2);
  EXPECT_EQ(history.records().at(1).id, second->id());
  EXPECT_EQ(BucketHistory(path(), clock).records(), history.records());
}

TEST_F(BucketHistoryTest, OneBadRecordDropsOnlyThatRecord) {
  const char* badRecords[] = {
      R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-333333333333","createdAt":760000000,)"
      R"("completedAt":"2024-02-01T10:05:00Z","itemCount":3,"isClosed":false})",
      R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-333333333333","createdAt":"2024-02-01T10:00:00.250Z",)"
      R"("completedAt":"2024-02-01T10:05:00Z","itemCount":3,"isClosed":false})",
      R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-333333333333","createdAt":"2024-02-01T10:00:00",)"
      R"("completedAt":"2024-02-01T10:05:00Z","itemCount":3,"isClosed":false})",
      R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-333333333333","createdAt":"2024-02-01T10:00:00Z",)"
      R"("completedAt":"2024-02-01T10:05:00Z","itemCount":3})",
      R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-333333333333","createdAt":"2024-02-01T10:00:00Z",)"
      R"("completedAt":"2024-02-01T10:05:00Z","itemCount":1.5,"isClosed":false})",
      R"({"id":"not-a-uuid","createdAt":"2024-02-01T10:00:00Z",)"
      R"("completedAt":"2024-02-01T10:05:00Z","itemCount":3,"isClosed":false})",
      R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-333333333333","createdAt":"2024-02-01T10:00:00Z",)"
      R"("completedAt":"2024-02-01T10:05:00Z","itemCount":3,"shareURL":42,"isClosed":false})",
      R"("not a record")",
  };
  for (const char* bad : badRecords) {
    SCOPED_TRACE(bad);
    test::TempRoot scratch;
    const QString file = scratch.paths().historyFile();
    const QByteArray original = '[' + kGoodRecordA + ',' + QByteArray(bad) + ',' + kGoodRecordB + ']';
    writeFile(file, original);

    BucketHistory history(file, clock);
    ASSERT_EQ(history.records().size(), 2);
    EXPECT_EQ(history.records().at(0).shareURL, QUrl(QStringLiteral("https://share.example/a")));
    EXPECT_EQ(history.records().at(1).createdAt, QDateTime(QDate(2024, 2, 2), QTime(8, 0), QTimeZone::utc()));
    EXPECT_EQ(history.records().at(1).shareURL, std::nullopt);

    // The next write keeps the original, bad record included, beside the new file.
    history.record(*finishedBucket(1), std::nullopt);
    EXPECT_EQ(BucketHistory(file, clock).records().size(), 3);
    const QStringList aside = asideCopies(file);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(QFileInfo(file).dir().filePath(aside.at(0))), original);
  }
}

TEST_F(BucketHistoryTest, UndecodableFileIsKeptAsideBeforeTheNextWrite) {
  const QByteArray contents[] = {"not json at all", R"({"records":[]})", "[1,2,3"};
  for (const QByteArray& original : contents) {
    SCOPED_TRACE(original.toStdString());
    clock.set(test::ManualClock().now());
    test::TempRoot scratch;
    const QString file = scratch.paths().historyFile();
    writeFile(file, original);

    BucketHistory history(file, clock);
    EXPECT_TRUE(history.records().isEmpty());
    EXPECT_EQ(readAll(file), original);  // loading alone leaves the file alone

    const auto bucket = finishedBucket(1);
    history.record(*bucket, std::nullopt);
    EXPECT_EQ(asideCopies(file), QStringList{QStringLiteral("buckets.json.unreadable-20240301T120100Z")});
    EXPECT_EQ(readAll(QFileInfo(file).dir().filePath(asideCopies(file).value(0))), original);
    const auto reloaded = BucketHistory(file, clock).records();
    ASSERT_EQ(reloaded.size(), 1);
    EXPECT_EQ(reloaded.at(0).id, bucket->id());
  }
}

TEST_F(BucketHistoryTest, UnopenableFileIsKeptAsideWithoutReplacingAnEarlierCopy) {
  // A folder where the file belongs exists but cannot be read as a file.
  QDir().mkpath(path() + QLatin1String("/inside"));
  const QString earlier = path() + QLatin1String(".unreadable-20240301T120100Z");
  writeFile(earlier, "earlier copy");
  BucketHistory history(path(), clock);
  EXPECT_TRUE(history.records().isEmpty());

  history.record(*finishedBucket(1), std::nullopt);
  EXPECT_EQ(readAll(earlier), "earlier copy");
  EXPECT_TRUE(QFileInfo(earlier + QLatin1String("-2/inside")).isDir());
  EXPECT_EQ(BucketHistory(path(), clock).records().size(), 1);
}

TEST_F(BucketHistoryTest, AWriteThatDoesNotFitLeavesTheOldFileByteForByte) {
  struct Row {
    const char* name;
    off_t room;  // bytes a file may grow to, as free space on the disk would allow
    int storedRecords;  // about 190 bytes each
    bool fits;
  };
  const Row table[] = {
      {"no room at all", 0, 5, false},
      {"4 KiB of room", 4'096, 30, false},
      {"64 KiB of room", 65'536, 400, false},
      {"room enough", 1 << 20, 400, true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    test::TempRoot scratch;
    const QString file = scratch.paths().historyFile();
    QByteArrayList records;
    for (int n = 0; n < row.storedRecords; ++n) records.append(kGoodRecordA);
    writeFile(file, '[' + records.join(',') + ']');
    const QByteArray before = readAll(file);

    test::exitCodeInChild([&] {
      test::limitFileSize(row.room);
      BucketHistory(file, clock).record(*finishedBucket(2), std::nullopt);
      return 0;
    });

    EXPECT_EQ(BucketHistory(file, clock).records().size(), row.storedRecords + (row.fits ? 1 : 0));
    if (!row.fits) {
      EXPECT_EQ(readAll(file), before);
    }
    EXPECT_EQ(QFileInfo(file).dir().entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("buckets.json")})
        << "no half-written file is left behind";
  }
}

TEST_F(BucketHistoryTest, FileAndFolderArePrivateFromTheStartAndOldOnesAreTightened) {
  const QString folder = root.paths().applicationSupport;
  {
    BucketHistory history(path(), clock);
    history.record(*finishedBucket(1), std::nullopt);
  }
  EXPECT_EQ(modeOf(folder), 0700u);
  EXPECT_EQ(modeOf(path()), 0600u);

  // A history written by an earlier version, readable by everyone.
  ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                                QFileDevice::ReadOther | QFileDevice::ExeOther));
  ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup | QFileDevice::ReadOther));
  ASSERT_EQ(modeOf(path()), 0644u);
  BucketHistory history(path(), clock);
  EXPECT_EQ(history.records().size(), 1);
  EXPECT_EQ(modeOf(folder), 0700u);
  EXPECT_EQ(modeOf(path()), 0600u);
  history.record(*finishedBucket(1), std::nullopt);
  EXPECT_EQ(modeOf(path()), 0600u);
}

TEST_F(BucketHistoryTest, FailedWriteKeepsTheRecordInMemory) {
  writeFile(root.paths().applicationSupport, "a file, not a folder");
  BucketHistory history(path(), clock);

  history.record(*finishedBucket(1), std::nullopt);
  EXPECT_EQ(history.records().size(), 1);
  EXPECT_TRUE(QFileInfo(root.paths().applicationSupport).isFile());
}

}  // namespace
}  // namespace pm
