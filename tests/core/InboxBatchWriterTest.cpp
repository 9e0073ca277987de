#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/Identifiers.h"
#include "core/InboxBatchWriter.h"
#include "core/SharedInbox.h"
#include "platform/SharedDefaults.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

struct WriterFixture {
  test::TempRoot root;
  MemorySharedDefaults defaults;
  SystemClock clock;
  // The agent's side, reading what the writer leaves.
  SharedInbox inbox{root.paths(), defaults, clock};
  InboxBatchWriter writer{root.paths()};

  QStringList inboxEntries() const {
    return QDir(root.paths().inbox())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  }
};

TEST(InboxBatchWriter, WritesOneBatchTheAgentReadsBackWithAbsolutePathsAndTheWakeMarker) {
  WriterFixture f;
  const QString file = f.root.write(QStringLiteral("files/a.txt"), "alpha");
  const QString folder = QFileInfo(file).absolutePath();
  const QUuid connection = *uuidFromText(QStringLiteral("D2B1E4A0-3C5F-4F6E-8A7B-9C0D1E2F3A4B"));

  // A relative path names a file of the sender's own working directory.
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(f.root.path()));
  const auto outcome =
      f.writer.write({QStringLiteral("files/./a.txt"), folder + QLatin1Char('/')}, connection);
  QDir::setCurrent(previous);

  ASSERT_TRUE(outcome.ok()) << outcome.problems.join('\n').toStdString();
  const QList<SharedInbox::Batch> batches = f.inbox.loadBatches();
  ASSERT_EQ(batches.size(), 1);
  EXPECT_EQ(batches[0].id, outcome.batch->id);
  EXPECT_EQ(batches[0].uploaderID, connection);
  EXPECT_EQ(batches[0].paths, (QStringList{file, folder}));
  // Only the batch itself, named after its id: no temporary file left behind.
  EXPECT_EQ(f.inboxEntries(), QStringList{uuidText(outcome.batch->id) + QStringLiteral(".json")});
  EXPECT_TRUE(f.inbox.consumeUploadWake());
  EXPECT_TRUE(f.inbox.removeBatch(batches[0]));
}

TEST(InboxBatchWriter, WithoutAConnectionTheBatchLeavesTheChoiceToTheAgent) {
  WriterFixture f;
  const QString file = f.root.write(QStringLiteral("b.bin"), "b");
  ASSERT_TRUE(f.writer.write({file}).ok());
  const QList<SharedInbox::Batch> batches = f.inbox.loadBatches();
  ASSERT_EQ(batches.size(), 1);
  EXPECT_FALSE(batches[0].uploaderID.has_value());
  // The inbox is private to the user, as the agent makes it.
  struct stat info {};
  ASSERT_EQ(stat(QFile::encodeName(f.root.paths().inbox()).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(InboxBatchWriter, AnyUnusablePathMeansNothingIsWritten) {
  WriterFixture f;
  const QString good = f.root.write(QStringLiteral("good.txt"), "g");
  const QString fifo = f.root.file(QStringLiteral("pipe"));
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString missing = f.root.file(QStringLiteral("gone.txt"));

  const struct {
    QStringList paths;
    QStringList problems;
  } cases[] = {
      {{good, missing}, {QStringLiteral("No such file or folder: ") + missing}},
      {{fifo, good}, {QStringLiteral("Not a regular file or folder: ") + fifo}},
      {{missing, fifo},
       {QStringLiteral("No such file or folder: ") + missing,
        QStringLiteral("Not a regular file or folder: ") + fifo}},
      {{}, {QStringLiteral("No files or folders to send.")}},
  };
  for (const auto& c : cases) {
    const auto outcome = f.writer.write(c.paths);
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.problems, c.problems);
    EXPECT_TRUE(f.inboxEntries().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(f.root.paths().uploadWake()));
  }
}

}  // namespace
}  // namespace pm
