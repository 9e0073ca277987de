#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/S3Credentials.h"
#include "core/SharedInbox.h"
#include "platform/SharedDefaults.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

const QString kBatchA = QStringLiteral("6F1C7A52-0D3B-4E7A-9A51-2B7C1D9E0F11");
const QString kBatchB = QStringLiteral("0A9E3F14-77C2-4B0D-8E65-5D4C3B2A1908");
const QString kConnection = QStringLiteral("D2B1E4A0-3C5F-4F6E-8A7B-9C0D1E2F3A4B");

struct InboxFixture {
  test::TempRoot root;
  MemorySharedDefaults defaults;
  test::ManualClock clock;
  SharedInbox inbox{root.paths(), defaults, clock};

  QString inboxFile(const QString& name) const { return root.paths().inbox() + QLatin1Char('/') + name; }
  void writeInboxFile(const QString& name, const QByteArray& json) const {
    root.write(QStringLiteral("group/Inbox/") + name, json);
  }
};

QFileDevice::Permissions privateFolder() {
  return QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
}

QFileDevice::Permissions ownerPermissions(const QString& path) {
  // The "user" bits mirror the owner bits for our own files; only the owner/group/other bits matter here.
  return QFileInfo(path).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

// Should the inbox open a FIFO, a late writer releases it, so a regression fails instead of hanging.
class FifoReleaser {
 public:
  explicit FifoReleaser(const QString& fifo)
      : thread_([this, path = QFile::encodeName(fifo)] {
          QElapsedTimer waited;
          waited.start();
          while (!done_) {
            if (waited.elapsed() > 10000) {
              const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
              if (fd >= 0) ::close(fd);
            }
            std::this_thread::sleep_for(10ms);
          }
        }) {}
  ~FifoReleaser() {
    done_ = true;
    thread_.join();
  }
  FifoReleaser(const FifoReleaser&) = delete;
  FifoReleaser& operator=(const FifoReleaser&) = delete;

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

TEST(SharedInbox, LoadsOnlyJsonFilesThatDecodeAndLeavesEveryFileInPlace) {
  InboxFixture f;
  const QByteArray valid = R"({"id":")" + kBatchA.toLatin1() + R"(","uploaderID":")" + kConnection.toLatin1() +
                           R"(","paths":["/home/ada/a.txt","/home/ada/Photos"]})";
  const struct {
    const char* name;
    QByteArray json;
    bool loaded;
  } files[] = {
      {"with-connection.json", valid, true},
      {"without-connection.json", R"({"id":")" + kBatchB.toLower().toLatin1() + R"(","paths":[]})", true},
      {"null-connection.json", R"({"id":"11111111-2222-3333-4444-555555555555","uploaderID":null,"paths":["/x"]})",
       true},
      {"notes.txt", valid, false},
      {"batch.JSON", valid, false},
      {".json", valid, false},
      {"no-paths.json", R"({"id":"22222222-2222-3333-4444-555555555555"})", false},
      {"no-id.json", R"({"paths":["/x"]})", false},
      {"braced-id.json", R"({"id":"{33333333-2222-3333-4444-555555555555}","paths":[]})", false},
      {"bad-connection.json", R"({"id":"44444444-2222-3333-4444-555555555555","uploaderID":"main","paths":[]})",
       false},
      {"number-path.json", R"({"id":"55555555-2222-3333-4444-555555555555","paths":["/x",7]})", false},
      {"truncated.json", R"({"id":"66666666-2222-3333-4444-5555)", false},
  };
  for (const auto& file : files) f.writeInboxFile(QString::fromLatin1(file.name), file.json);
  QDir().mkpath(f.inboxFile(QStringLiteral("folder.json")));

  QList<SharedInbox::Batch> batches = f.inbox.loadBatches();
  std::sort(batches.begin(), batches.end(),
            [](const auto& a, const auto& b) { return a.file < b.file; });
  ASSERT_EQ(batches.size(), 3);

  EXPECT_EQ(batches[0].file, f.inboxFile(QStringLiteral("null-connection.json")));
  EXPECT_EQ(batches[0].uploaderID, std::nullopt);

  EXPECT_EQ(batches[1].file, f.inboxFile(QStringLiteral("with-connection.json")));
  EXPECT_EQ(uuidText(batches[1].id), kBatchA);
  EXPECT_EQ(batches[1].uploaderID, QUuid::fromString(kConnection));
  EXPECT_EQ(batches[1].paths, (QStringList{QStringLiteral("/home/ada/a.txt"), QStringLiteral("/home/ada/Photos")}));

  EXPECT_EQ(batches[2].file, f.inboxFile(QStringLiteral("without-connection.json")));
  EXPECT_EQ(uuidText(batches[2].id), kBatchB) << "lower-case identifiers are read";
  EXPECT_EQ(batches[2].uploaderID, std::nullopt);
  EXPECT_TRUE(batches[2].paths.isEmpty());

  for (const auto& file : files) EXPECT_TRUE(QFile::exists(f.inboxFile(QString::fromLatin1(file.name)))) << file.name;
}

// Whatever a batch name leads to, the drain returns at once and reads a bounded amount.
TEST(SharedInbox, OnlyRegularFilesOfBoundedSizeAreRead) {
  InboxFixture f;
  const QByteArray batch = R"({"id":")" + kBatchA.toLatin1() + R"(","paths":["/a"]})";
  const QString target = f.root.write(QStringLiteral("elsewhere/batch"), batch);
  const QString fifo = f.root.file(QStringLiteral("elsewhere/fifo"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

  const auto link = [&](const QString& name, const QString& to) {
    ASSERT_TRUE(QFile::link(to, f.inboxFile(name)));
  };
  f.inbox.inboxFolder();
  link(QStringLiteral("to-a-file.json"), target);
  link(QStringLiteral("to-zero.json"), QStringLiteral("/dev/zero"));
  link(QStringLiteral("to-random.json"), QStringLiteral("/dev/urandom"));
  link(QStringLiteral("to-a-fifo.json"), fifo);
  link(QStringLiteral("dangling.json"), f.root.file(QStringLiteral("nowhere")));

  // A batch padded to the limit is still read; one byte more and the file is no batch (a sparse file of
  // 1 GiB shows that it is not read first either).
  const QString atLimit = QStringLiteral("0A9E3F14-77C2-4B0D-8E65-5D4C3B2A1908");
  QByteArray padded = R"({"id":")" + atLimit.toLatin1() + R"(","paths":["/b"]})";
  padded.append(QByteArray(SharedInbox::kMaximumBatchSize - padded.size(), ' '));
  f.writeInboxFile(QStringLiteral("at-limit.json"), padded);
  f.writeInboxFile(QStringLiteral("over-limit.json"), padded + ' ');
  QFile sparse(f.inboxFile(QStringLiteral("sparse.json")));
  ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
  sparse.write(batch);
  ASSERT_TRUE(sparse.resize(qint64(1) << 30));
  sparse.close();

  const QString stuck = f.inboxFile(QStringLiteral("stuck.json"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(stuck).constData(), 0600), 0);

  QElapsedTimer timer;
  qint64 elapsed = 0;
  QList<SharedInbox::Batch> batches;
  {
    const FifoReleaser releaseTheLink(fifo);
    const FifoReleaser releaseTheFifo(stuck);
    timer.start();
    batches = f.inbox.loadBatches();
    elapsed = timer.elapsed();
  }

  // Well short of the releasers' ten seconds, however busy the machine.
  EXPECT_LT(elapsed, 5000) << "the drain waited or read too much";
  std::sort(batches.begin(), batches.end(), [](const auto& a, const auto& b) { return a.file < b.file; });
  ASSERT_EQ(batches.size(), 2);
  EXPECT_EQ(batches[0].file, f.inboxFile(QStringLiteral("at-limit.json")));
  EXPECT_EQ(batches[1].file, f.inboxFile(QStringLiteral("to-a-file.json")));
  EXPECT_EQ(uuidText(batches[1].id), kBatchA);
  EXPECT_TRUE(QFileInfo(stuck).exists()) << "what is skipped stays";
}

TEST(SharedInbox, BatchJsonRoundTripsInTheSendersForm) {
  const SharedInbox::Batch batch{QUuid::fromString(kBatchA), QUuid::fromString(kConnection),
                                 {QStringLiteral("/a b/c.txt")}, {}};
  const QJsonObject json = QJsonDocument::fromJson(batch.toJson()).object();
  EXPECT_EQ(json.value(QStringLiteral("id")).toString(), kBatchA);
  EXPECT_EQ(json.value(QStringLiteral("uploaderID")).toString(), kConnection);

  const auto decoded = SharedInbox::Batch::fromJson(batch.toJson());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->id, batch.id);
  EXPECT_EQ(decoded->uploaderID, batch.uploaderID);
  EXPECT_EQ(decoded->paths, batch.paths);

  SharedInbox::Batch anyConnection = batch;
  anyConnection.uploaderID.reset();
  EXPECT_FALSE(QJsonDocument::fromJson(anyConnection.toJson()).object().contains(QStringLiteral("uploaderID")));
}

TEST(SharedInbox, UrlsAreTheAbsolutePathsInOrder) {
  const SharedInbox::Batch batch{QUuid::fromString(kBatchA),
                                 std::nullopt,
                                 {QStringLiteral("/home/ada/b.txt"), QStringLiteral("Documents/secret.txt"),
                                  QString(), QStringLiteral("/home/ada/a folder"), QStringLiteral("../x"),
                                  QStringLiteral("//[x"), QStringLiteral("/home/ada/c #1?.txt")},
                                 {}};
  const QList<QUrl> urls = batch.urls();
  EXPECT_EQ(urls, (QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/home/ada/b.txt")),
                               QUrl::fromLocalFile(QStringLiteral("/home/ada/a folder")),
                               QUrl::fromLocalFile(QStringLiteral("/home/ada/c #1?.txt"))}));
  for (const QUrl& url : urls) EXPECT_TRUE(url.isValid()) << url.toString().toStdString();
}

TEST(SharedInbox, RemoveBatchDeletesTheFileItWasReadFrom) {
  InboxFixture f;
  const QByteArray json = R"({"id":")" + kBatchA.toLatin1() + R"(","paths":["/a"]})";
  // The batch under a name that is not its id, and another batch under its own id that must survive.
  f.writeInboxFile(QStringLiteral("sent-by-hand.json"), json);
  f.writeInboxFile(kBatchB + QStringLiteral(".json"),
                   R"({"id":")" + kBatchB.toLatin1() + R"(","paths":["/b"]})");

  QList<SharedInbox::Batch> first = f.inbox.loadBatches();
  ASSERT_EQ(first.size(), 2);
  std::sort(first.begin(), first.end(), [](const auto& a, const auto& b) { return a.file > b.file; });
  EXPECT_TRUE(f.inbox.removeBatch(first[0]));
  EXPECT_FALSE(QFile::exists(f.inboxFile(QStringLiteral("sent-by-hand.json"))));

  const QList<SharedInbox::Batch> second = f.inbox.loadBatches();
  ASSERT_EQ(second.size(), 1) << "the drained batch is not handed over again";
  EXPECT_EQ(uuidText(second[0].id), kBatchB);

  EXPECT_TRUE(f.inbox.removeBatch(second[0]));
  EXPECT_TRUE(f.inbox.loadBatches().isEmpty());
  EXPECT_TRUE(f.inbox.removeBatch(second[0])) << "a file that is already gone counts as removed";
}

// A sender that writes a batch in place may write it again after the agent took it (a second close, a
// rewrite): the batch is still handed over once.
TEST(SharedInbox, ABatchSeenAgainAfterItWasTakenIsNotHandedOverTwice) {
  InboxFixture f;
  const QString name = kBatchA + QStringLiteral(".json");
  const QByteArray json = R"({"id":")" + kBatchA.toLatin1() + R"(","paths":["/a"]})";
  f.writeInboxFile(name, json);
  const QList<SharedInbox::Batch> first = f.inbox.loadBatches();
  ASSERT_EQ(first.size(), 1);
  ASSERT_TRUE(f.inbox.removeBatch(first[0]));

  f.writeInboxFile(name, json);
  f.writeInboxFile(QStringLiteral("copy.json"), json);
  EXPECT_TRUE(f.inbox.loadBatches().isEmpty());
  EXPECT_FALSE(QFile::exists(f.inboxFile(name)));
  EXPECT_FALSE(QFile::exists(f.inboxFile(QStringLiteral("copy.json"))));
}

TEST(SharedInbox, RemoveBatchWithoutAFileDeletesTheFileNamedAfterItsId) {
  InboxFixture f;
  f.writeInboxFile(kBatchA + QStringLiteral(".json"), R"({"id":")" + kBatchA.toLatin1() + R"(","paths":[]})");
  f.writeInboxFile(kBatchB + QStringLiteral(".json"), R"({"id":")" + kBatchB.toLatin1() + R"(","paths":[]})");

  EXPECT_TRUE(f.inbox.removeBatch(SharedInbox::Batch{QUuid::fromString(kBatchA.toLower()), std::nullopt, {}, {}}));
  EXPECT_FALSE(QFile::exists(f.inboxFile(kBatchA + QStringLiteral(".json"))));
  EXPECT_TRUE(QFile::exists(f.inboxFile(kBatchB + QStringLiteral(".json"))));
}

TEST(SharedInbox, ContainerAndInboxArePrivateToTheUser) {
  InboxFixture f;
  const QString container = f.root.paths().groupContainer;
  ASSERT_TRUE(QDir().mkpath(container));
  QFile::setPermissions(container, privateFolder() | QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                       QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);

  EXPECT_EQ(f.inbox.inboxFolder(), f.root.paths().inbox());
  EXPECT_EQ(ownerPermissions(container), privateFolder());
  EXPECT_EQ(ownerPermissions(f.root.paths().inbox()), privateFolder());
}

TEST(SharedInbox, AContainerThatCannotBeMadeGivesNoInbox) {
  test::TempRoot root;
  root.write(QStringLiteral("blocker"), "a file where the container should be");
  Paths paths = root.paths();
  paths.groupContainer = root.file(QStringLiteral("blocker/group"));
  MemorySharedDefaults defaults;
  test::ManualClock clock;
  SharedInbox inbox(paths, defaults, clock);

  EXPECT_EQ(inbox.inboxFolder(), std::nullopt);
  EXPECT_TRUE(inbox.loadBatches().isEmpty());
}

TEST(SharedInbox, WakeMarkerIsFreshForLessThanTenSecondsAndAlwaysDeleted) {
  const struct {
    std::chrono::milliseconds age;
    bool fresh;
  } rows[] = {{9'900ms, true}, {10'000ms, false}, {0ms, true}, {-5'000ms, true}, {3'600'000ms, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.age.count());
    InboxFixture f;
    const QString marker = f.root.write(QStringLiteral("group/upload-wake"), "ignored");
    QFile file(marker);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(f.clock.now().addMSecs(-row.age.count()), QFileDevice::FileModificationTime));
    file.close();

    EXPECT_EQ(f.inbox.consumeUploadWake(), row.fresh);
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_FALSE(f.inbox.consumeUploadWake());
  }
}

TEST(SharedInbox, WakeFreshnessIsInjectable) {
  InboxFixture f;
  const SharedInbox quick(f.root.paths(), f.defaults, f.clock, 500ms);
  const QString marker = f.root.write(QStringLiteral("group/upload-wake"), {});
  QFile file(marker);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(f.clock.now().addMSecs(-600), QFileDevice::FileModificationTime));
  file.close();
  EXPECT_FALSE(quick.consumeUploadWake());
}

TEST(SharedInbox, PublishWritesTheOpenBucketAndNoneRemovesIt) {
  InboxFixture f;
  const QString key = QStringLiteral("openBucket");
  f.inbox.publish(std::nullopt);
  EXPECT_TRUE(f.defaults.keys().isEmpty());

  const SharedInbox::OpenBucket open{QUuid::fromString(kConnection), QStringLiteral("Team R2"),
                                     QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 125), QTimeZone::utc())};
  f.inbox.publish(open);
  const auto data = f.defaults.dataValue(key);
  ASSERT_TRUE(data);
  const QJsonObject json = QJsonDocument::fromJson(*data).object();
  EXPECT_EQ(json.value(QStringLiteral("uploaderID")).toString(), kConnection);
  EXPECT_EQ(json.value(QStringLiteral("displayName")).toString(), QStringLiteral("Team R2"));
  EXPECT_DOUBLE_EQ(json.value(QStringLiteral("startedAt")).toDouble(), 736'672'089.125);
  EXPECT_EQ(SharedInbox::OpenBucket::fromJson(*data), open);

  f.inbox.publish(std::nullopt);
  EXPECT_FALSE(f.defaults.contains(key));

  f.inbox.publish(open);
  f.inbox.publish(SharedInbox::OpenBucket{open.uploaderID, open.displayName, QDateTime()});
  EXPECT_FALSE(f.defaults.contains(key)) << "an entry that cannot be encoded removes the key";
}

TEST(SharedInbox, OpenBucketNeedsAllThreeKeys) {
  const struct {
    const char* json;
    bool decodes;
  } rows[] = {
      {R"({"uploaderID":"d2b1e4a0-3c5f-4f6e-8a7b-9c0d1e2f3a4b","displayName":"S3","startedAt":1.5})", true},
      {R"({"displayName":"S3","startedAt":1.5})", false},
      {R"({"uploaderID":"D2B1E4A0-3C5F-4F6E-8A7B-9C0D1E2F3A4B","startedAt":1.5})", false},
      {R"({"uploaderID":"D2B1E4A0-3C5F-4F6E-8A7B-9C0D1E2F3A4B","displayName":"S3"})", false},
      {R"({"uploaderID":"D2B1E4A0-3C5F-4F6E-8A7B-9C0D1E2F3A4B","displayName":"S3","startedAt":"1.5"})", false},
      {R"({"uploaderID":"D2B1E4A0-3C5F-4F6E-8A7B-9C0D1E2F3A4B","displayName":"S3","startedAt":1e300})", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(SharedInbox::OpenBucket::fromJson(row.json).has_value(), row.decodes) << row.json;
  }
}

}  // namespace
}  // namespace pm
