#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/S3Credentials.h"
#include "core/SharedInbox.h"
#include "platform/InboxWatcher.h"
#include "platform/SharedDefaults.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// The inotify instances this process holds open, seen through /proc.
int openInotifyDescriptors() {
  int count = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    if (std::filesystem::read_symlink(entry.path(), error).string() == "anon_inode:inotify") ++count;
  }
  return count;
}

struct Calls {
  int count = 0;
  bool allOnMainThread = true;
  void record() {
    ++count;
    allOnMainThread = allOnMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
  }
};

// The agent's inbox folder in a private root.
struct Inbox {
  test::TempRoot root;
  MemorySharedDefaults defaults;
  test::ManualClock clock;
  SharedInbox inbox{root.paths(), defaults, clock};
  std::optional<QString> folder = inbox.inboxFolder();
};

TEST(InboxWatcher, ReportsABatchWrittenToATempFileAndRenamedIn) {
  Inbox f;
  SharedInbox& inbox = f.inbox;
  const std::optional<QString>& folder = f.folder;
  ASSERT_TRUE(folder);

  Calls calls;
  qsizetype batchesSeen = 0;
  const InboxWatcher watcher(*folder, [&] {
    calls.record();
    batchesSeen = inbox.loadBatches().size();
  });
  ASSERT_TRUE(watcher.isWatching());

  const QString id = uuidText(QUuid::createUuid());
  QSaveFile out(*folder + QLatin1Char('/') + id + QLatin1String(".json"));
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(R"({"id":")" + id.toLatin1() + R"(","paths":["/home/ada/a.txt"]})");
  ASSERT_TRUE(out.commit());

  ASSERT_TRUE(test::runUntil([&] { return batchesSeen == 1; }));
  EXPECT_TRUE(calls.allOnMainThread);
}

TEST(InboxWatcher, CallsOncePerEntryChangeAndFinishedWrite) {
  test::TempRoot root;
  const QString folder = root.file(QStringLiteral("watched"));
  const QString existing = root.write(QStringLiteral("watched/existing.json"), "{}");
  Calls calls;
  const InboxWatcher watcher(folder, [&] { calls.record(); });

  QFile file(existing);
  ASSERT_TRUE(file.open(QIODevice::Append));
  file.write("more");
  file.flush();
  test::spin(100ms);
  EXPECT_EQ(calls.count, 0) << "a write is no change until its writer closes the file";
  file.close();                                                                         // closed: 1
  ASSERT_TRUE(test::runUntil([&] { return calls.count == 1; }));
  QFile reader(existing);
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  reader.readAll();
  reader.close();

  root.write(QStringLiteral("watched/new.tmp"), "{}");                                  // created, closed: 2
  ASSERT_TRUE(QFile::rename(folder + QLatin1String("/new.tmp"), folder + QLatin1String("/new.json")));  // 2
  ASSERT_TRUE(QFile::remove(existing));                                                 // deleted: 1
  ASSERT_TRUE(QFile::rename(folder + QLatin1String("/new.json"), root.file(QStringLiteral("outside.json"))));  // 1
  ASSERT_TRUE(test::runUntil([&] { return calls.count >= 7; }));
  test::spin(100ms);
  EXPECT_EQ(calls.count, 7) << "reading a file is no change";
  EXPECT_TRUE(calls.allOnMainThread);
}

// A sender that writes the batch under its final name: the drain that its creation starts finds it empty,
// the one that its close starts takes it, and any later one finds nothing more.
TEST(InboxWatcher, ABatchWrittenInPlaceIsTakenOnceWhenItsWriterClosesIt) {
  Inbox f;
  SharedInbox& inbox = f.inbox;
  const std::optional<QString>& folder = f.folder;
  ASSERT_TRUE(folder);

  int drains = 0;
  QList<QUuid> taken;
  const InboxWatcher watcher(*folder, [&] {
    ++drains;
    for (const SharedInbox::Batch& batch : inbox.loadBatches()) {
      if (inbox.removeBatch(batch)) taken.append(batch.id);
    }
  });

  const QUuid id = QUuid::createUuid();
  QFile out(*folder + QLatin1Char('/') + uuidText(id) + QLatin1String(".json"));
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  ASSERT_TRUE(test::runUntil([&] { return drains == 1; }));
  out.write(R"({"id":")" + uuidText(id).toLatin1() + R"(","paths":["/home/ada/a.txt"]})");
  out.close();

  ASSERT_TRUE(test::runUntil([&] { return !taken.isEmpty(); }));
  test::spin(100ms);
  EXPECT_EQ(taken, QList{id});
}

TEST(InboxWatcher, AFolderThatCannotBeWatchedNeverCalls) {
  test::TempRoot root;
  const QString file = root.write(QStringLiteral("plain-file"), "x");
  const QString paths[] = {QString(), root.file(QStringLiteral("missing")), file};
  for (const QString& path : paths) {
    int calls = 0;
    const InboxWatcher watcher(path, [&] { ++calls; });
    EXPECT_FALSE(watcher.isWatching()) << path.toStdString();
  }
}

TEST(InboxWatcher, CancelAndDestructionCloseTheDescriptor) {
  test::TempRoot root;
  const QString folder = root.file(QStringLiteral("watched"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const int before = openInotifyDescriptors();
  int calls = 0;
  {
    InboxWatcher watcher(folder, [&] { ++calls; });
    EXPECT_EQ(openInotifyDescriptors(), before + 1);
    watcher.cancel();
    EXPECT_FALSE(watcher.isWatching());
    EXPECT_EQ(openInotifyDescriptors(), before);
    root.write(QStringLiteral("watched/late.json"), "{}");
    test::spin(100ms);
    EXPECT_EQ(calls, 0);
    watcher.cancel();
  }
  {
    const InboxWatcher watcher(folder, [&] { ++calls; });
    EXPECT_EQ(openInotifyDescriptors(), before + 1);
  }
  EXPECT_EQ(openInotifyDescriptors(), before);
}

TEST(InboxWatcher, TheCallbackMayEndTheWatcher) {
  test::TempRoot root;
  const QString folder = root.file(QStringLiteral("watched"));
  ASSERT_TRUE(QDir().mkpath(folder));
  int calls = 0;
  std::unique_ptr<InboxWatcher> watcher;
  watcher = std::make_unique<InboxWatcher>(folder, [&] {
    ++calls;
    watcher.reset();
  });
  // Three changes are queued before the event loop runs, so they arrive in one round.
  root.write(QStringLiteral("watched/a.json"), "{}");
  root.write(QStringLiteral("watched/b.json"), "{}");
  root.write(QStringLiteral("watched/c.json"), "{}");
  ASSERT_TRUE(test::runUntil([&] { return calls > 0; }));
  test::spin(50ms);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(watcher, nullptr);
}

}  // namespace
}  // namespace pm
