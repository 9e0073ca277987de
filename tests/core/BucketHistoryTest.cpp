#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/Bucket.h"
#include "core/BucketHistory.h"
#include "platform/AtomicFile.h"
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
  history.flush();
  EXPECT_TRUE(QFileInfo::exists(path()));
}

TEST_F(BucketHistoryTest, RecordWithoutLinkHasNoShareURLKey) {
  BucketHistory history(path(), clock);
  const auto bucket = finishedBucket(2);
  history.record(*bucket, std::nullopt);
  history.flush();

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
  history.flush();

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
    history.flush();
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
    history.flush();
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
  history.flush();
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
  history.flush();
  EXPECT_EQ(modeOf(path()), 0600u);
}

TEST_F(BucketHistoryTest, FailedWriteKeepsTheRecordInMemory) {
  writeFile(root.paths().applicationSupport, "a file, not a folder");
  BucketHistory history(path(), clock);

  history.record(*finishedBucket(1), std::nullopt);
  history.flush();
  EXPECT_EQ(history.records().size(), 1);
  EXPECT_TRUE(QFileInfo(root.paths().applicationSupport).isFile());
}

// Every record that loads is written back as it was read: the same values, and the share link as the same
// text (a parser's normal form of a link is not the link the service handed out). A date that cannot be
// written back does not load, and its file is kept aside like any other unreadable record.
TEST_F(BucketHistoryTest, WhatLoadsSavesBackEqual) {
  struct Row {
    const char* name;
    QByteArray record;
    bool loads;
    QByteArray keptText;  // found in the rewritten file, when not empty
  };
  const auto withDates = [](const char* createdAt) {
    return QByteArray(R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-444444444444","createdAt":")") + createdAt +
           R"(","completedAt":"2024-02-01T10:05:00Z","itemCount":3,"isClosed":false})";
  };
  const auto withLink = [](const char* link) {
    return QByteArray(R"({"id":"6F1C3B0E-2D4A-4C55-9E0F-444444444444","createdAt":"2024-02-01T10:00:00Z",)"
                      R"("completedAt":"2024-02-01T10:05:00Z","itemCount":3,"shareURL":")") +
           link + R"(","isClosed":false})";
  };
  const Row table[] = {
      {"an offset, written back in UTC", withDates("2024-02-02T10:00:00+02:00"), true, {}},
      {"a UTC date in the year 10000", withDates("9999-12-31T23:00:00-02:00"), false, {}},
      {"a UTC date in the year 0", withDates("0001-01-01T00:30:00+01:00"), false, {}},
      {"the last writable second", withDates("9999-12-31T23:59:59Z"), true, {}},
      {"a hash inside the fragment", withLink("https://share.example/s/AB#key#2"), true,
       R"("https://share.example/s/AB#key#2")"},
      {"an escaped letter", withLink("https://share.example/%41b?x=%7e"), true,
       R"("https://share.example/%41b?x=%7e")"},
      {"an escaped slash", withLink(R"(https:\/\/share.example\/c)"), true, R"("https://share.example/c")"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    test::TempRoot scratch;
    const QString file = scratch.paths().historyFile();
    writeFile(file, '[' + row.record + ']');

    BucketHistory first(file, clock);
    ASSERT_EQ(first.records().size(), row.loads ? 1 : 0);
    first.record(*finishedBucket(1), std::nullopt);
    first.flush();

    const QByteArray rewritten = readAll(file);
    if (!row.keptText.isEmpty()) {
      EXPECT_TRUE(rewritten.contains(row.keptText)) << rewritten.toStdString();
    }
    EXPECT_EQ(BucketHistory(file, clock).records(), first.records()) << rewritten.toStdString();
    EXPECT_EQ(asideCopies(file).size(), row.loads ? 0 : 1);

    // And again: a second round changes nothing more.
    BucketHistory second(file, clock);
    second.save();
    second.flush();
    EXPECT_EQ(readAll(file), rewritten);
  }
}

// Finishing a bucket never waits for the disk: the file is written on the history's own thread, and records
// that arrive while a write runs go out together in the next one, in order.
TEST_F(BucketHistoryTest, RecordsArrivingDuringAWriteGoOutTogetherInTheNextOne) {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  QList<int> writtenCounts;
  BucketHistory::FileWriter heldWriter = [&](const QString& target, const QByteArray& bytes,
                                             QFileDevice::Permissions permissions, QString* error) {
    std::unique_lock lock(mutex);
    writtenCounts.append(QJsonDocument::fromJson(bytes).array().size());
    changed.notify_all();
    changed.wait(lock, [&] { return released; });
    return writeFileAtomically(target, bytes, permissions, error);
  };
  BucketHistory history(path(), clock, heldWriter);

  history.record(*finishedBucket(1), std::nullopt);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 60s, [&] { return !writtenCounts.isEmpty(); }));
  }
  // The first write is held on the disk; these return all the same.
  for (int n = 0; n < 5; ++n) history.record(*finishedBucket(2), std::nullopt);
  EXPECT_EQ(history.records().size(), 6);
  {
    std::lock_guard lock(mutex);
    released = true;
    changed.notify_all();
  }
  history.flush();

  EXPECT_EQ(writtenCounts, (QList<int>{1, 6}));
  EXPECT_EQ(BucketHistory(path(), clock).records(), history.records());
}

TEST_F(BucketHistoryTest, AFailedWriteKeepsTheOldFileAndTheNextWriteHoldsEverything) {
  BucketHistory history(path(), clock);
  history.record(*finishedBucket(1), std::nullopt);
  history.flush();
  const QByteArray before = readAll(path());

  bool fail = true;
  BucketHistory failing(path(), clock, [&](const QString& target, const QByteArray& bytes,
                                           QFileDevice::Permissions permissions, QString* error) {
    return fail ? false : writeFileAtomically(target, bytes, permissions, error);
  });
  failing.record(*finishedBucket(2), std::nullopt);
  failing.flush();
  EXPECT_EQ(readAll(path()), before);
  EXPECT_EQ(failing.records().size(), 2);

  fail = false;
  failing.record(*finishedBucket(3), std::nullopt);
  failing.flush();
  EXPECT_EQ(BucketHistory(path(), clock).records(), failing.records());
}

TEST_F(BucketHistoryTest, GoingAwayWritesWhatWasStillWaiting) {
  QList<BucketRecord> records;
  {
    BucketHistory history(path(), clock);
    for (int n = 0; n < 20; ++n) history.record(*finishedBucket(1), std::nullopt);
    records = history.records();
  }
  EXPECT_EQ(BucketHistory(path(), clock).records(), records);
}

}  // namespace
}  // namespace pm
