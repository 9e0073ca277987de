#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

#include <csignal>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LocalUnits.h"
#include "UploadErrorPrinting.h"
#include "connectors/ICloudUploader.h"
#include "connectors/SyncedFolderCopy.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

QByteArray pattern(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (qsizetype i = 0; i < size; ++i) bytes[i] = char(i * 7 + i / 4099);
  return bytes;
}

class ICloudUploaderTest : public ::testing::Test {
 protected:
  QString documents() const { return root.path() + QStringLiteral("/iCloud.com.wrenfold.Parcelmoor/Documents"); }

  std::unique_ptr<ICloudUploader> make(const QString& prefix = {}) {
    UploaderConfig config(UploaderConfig::Kind::icloud);
    config.keyPrefix = prefix;
    return std::make_unique<ICloudUploader>(config, root.path(), defaults, &signals, network);
  }

  UploadUnit localFile(const QString& relativePath, const QByteArray& bytes) {
    return test::localUnit(local, relativePath, bytes);
  }

  // Registers one unit and returns where it is placed (a local path).
  QString placeOne(ICloudUploader& uploader, const UploadUnit& unit) {
    const Registration registration = test::wait(uploader.registerUnits({unit}));
    EXPECT_EQ(registration.destinations.size(), 1);
    EXPECT_TRUE(registration.refused.isEmpty());
    return registration.destinations.value(0).url.toLocalFile();
  }

  // Uploads a registered unit; returns every progress report.
  QList<double> copy(ICloudUploader& uploader, const UploadUnit& unit, const QString& placed) {
    QList<double> reports;
    const ProgressCallback progress = [&reports](double f) { reports.append(f); };
    test::wait(uploader.upload(unit, UploadDestination{unit.id, QUrl::fromLocalFile(placed), QStringLiteral("PUT"), {}},
                               progress, makeCancelToken()));
    return reports;
  }

  QTemporaryDir root;
  QTemporaryDir local;
  MemorySharedDefaults defaults;
  LocalSignals signals;
  QNetworkAccessManager network;
};

TEST_F(ICloudUploaderTest, TheKeyPrefixPicksTheFolderInsideDocuments) {
  const struct {
    const char* prefix;
    const char* base;  // below Documents
  } table[] = {{"", ""}, {"/", ""}, {"a//b/", "/a/b"}, {" my files ", "/ my files "}, {"../../outside/./x", "/outside/x"}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.prefix);
    const auto uploader = make(QString::fromUtf8(row.prefix));
    const QString placed = placeOne(*uploader, localFile(QStringLiteral("a.txt"), "a"));
    EXPECT_EQ(placed, documents() + QString::fromUtf8(row.base) + QLatin1Char('/') + uploader->folder() +
                          QStringLiteral("/a.txt"));
  }
}

// "." and ".." pieces in a unit's path or in the folder prefix never lead out of the bucket's folder.
TEST_F(ICloudUploaderTest, DotPiecesNeverMoveACopyOutOfItsBucketFolder) {
  const auto uploader = make(QStringLiteral("../../Elsewhere/./Uploads/.."));
  const UploadUnit up = localFile(QStringLiteral("../inner.txt"), "inner");
  const UploadUnit down = localFile(QStringLiteral("./Sub/../deeper.txt"), "deeper");
  copy(*uploader, up, placeOne(*uploader, up));
  copy(*uploader, down, placeOne(*uploader, down));
  const QString bucket = documents() + QStringLiteral("/Elsewhere/Uploads/") + uploader->folder();
  EXPECT_EQ(test::fileContents(bucket + QStringLiteral("/inner.txt")), "inner");
  EXPECT_EQ(test::fileContents(bucket + QStringLiteral("/Sub/deeper.txt")), "deeper");
}

TEST_F(ICloudUploaderTest, NumbersNamesTakenInTheBucketOnly) {
  const auto uploader = make();
  const QStringList relative{QStringLiteral("report.pdf"), QStringLiteral("report.pdf"), QStringLiteral("report.pdf"),
                             QStringLiteral("notes"),      QStringLiteral("notes"),      QStringLiteral("dir/x.txt"),
                             QStringLiteral("dir/x.txt")};
  const QStringList expected{QStringLiteral("report.pdf"), QStringLiteral("report 2.pdf"), QStringLiteral("report 3.pdf"),
                             QStringLiteral("notes"),      QStringLiteral("notes 2"),      QStringLiteral("dir/x.txt"),
                             QStringLiteral("dir/x 2.txt")};
  QList<UploadUnit> units;
  for (const QString& path : relative) units.append(localFile(path, path.toUtf8()));
  const Registration registration = test::wait(uploader->registerUnits(units));
  ASSERT_EQ(registration.destinations.size(), units.size());
  const QString bucket = documents() + QLatin1Char('/') + uploader->folder() + QLatin1Char('/');
  for (qsizetype i = 0; i < units.size(); ++i) {
    EXPECT_EQ(registration.destinations[i].url.toLocalFile(), bucket + expected[i]);
    EXPECT_EQ(registration.destinations[i].unitID, units[i].id);
  }

  // A withdrawn name is free again.
  test::wait(uploader->withdraw({units[0]}));
  EXPECT_EQ(placeOne(*uploader, localFile(QStringLiteral("report.pdf"), "again")), bucket + QStringLiteral("report.pdf"));
}

TEST_F(ICloudUploaderTest, CopiesByteForByteInSteps) {
  const auto uploader = make(QStringLiteral("in"));
  const QByteArray bytes = pattern(9 * 1024 * 1024 + 5);
  const UploadUnit unit = localFile(QStringLiteral("Album/big.bin"), bytes);
  const QString placed = placeOne(*uploader, unit);
  const QList<double> reports = copy(*uploader, unit, placed);
  EXPECT_EQ(test::fileContents(placed), bytes);
  // One report per 4 MiB step, then the final 1.0.
  ASSERT_EQ(reports.size(), 4);
  EXPECT_DOUBLE_EQ(reports[0], 4194304.0 / double(bytes.size()));
  EXPECT_DOUBLE_EQ(reports[1], 8388608.0 / double(bytes.size()));
  EXPECT_EQ(reports[2], 1.0);
  EXPECT_EQ(reports[3], 1.0);
}

TEST_F(ICloudUploaderTest, EmptyFilesAndUnknownSizesReportOnlyTheEnd) {
  const auto uploader = make();
  const UploadUnit empty = localFile(QStringLiteral("empty"), {});
  const QString emptyPlaced = placeOne(*uploader, empty);
  EXPECT_EQ(copy(*uploader, empty, emptyPlaced), QList<double>{1.0});
  EXPECT_TRUE(QFileInfo(emptyPlaced).isFile());
  EXPECT_EQ(QFileInfo(emptyPlaced).size(), 0);

  UploadUnit unsized = localFile(QStringLiteral("unsized.txt"), "has data");
  unsized.size = 0;
  const QString unsizedPlaced = placeOne(*uploader, unsized);
  EXPECT_EQ(copy(*uploader, unsized, unsizedPlaced), QList<double>{1.0});
  EXPECT_EQ(test::fileContents(unsizedPlaced), QByteArray("has data"));
}

TEST_F(ICloudUploaderTest, AFileAlreadyOnDiskIsNeverReplaced) {
  const auto uploader = make();
  const QString bucket = documents() + QLatin1Char('/') + uploader->folder();
  ASSERT_TRUE(QDir().mkpath(bucket));
  const auto writeTheirs = [](const QString& path) {
    QFile theirs(path);
    ASSERT_TRUE(theirs.open(QIODevice::NewOnly));
    theirs.write("another computer's file");
  };
  writeTheirs(bucket + QStringLiteral("/report.pdf"));

  // Known when registering: the next name is taken.
  const UploadUnit first = localFile(QStringLiteral("report.pdf"), "first");
  const QString firstPlaced = placeOne(*uploader, first);
  EXPECT_EQ(firstPlaced, bucket + QStringLiteral("/report 2.pdf"));
  copy(*uploader, first, firstPlaced);

  // Appearing between registering and copying: the copy moves on to a free name.
  const UploadUnit second = localFile(QStringLiteral("report.pdf"), "second");
  const QString secondPlaced = placeOne(*uploader, second);
  EXPECT_EQ(secondPlaced, bucket + QStringLiteral("/report 3.pdf"));
  writeTheirs(secondPlaced);
  copy(*uploader, second, secondPlaced);

  EXPECT_EQ(test::fileContents(bucket + QStringLiteral("/report.pdf")), QByteArray("another computer's file"));
  EXPECT_EQ(test::fileContents(bucket + QStringLiteral("/report 2.pdf")), QByteArray("first"));
  EXPECT_EQ(test::fileContents(bucket + QStringLiteral("/report 3.pdf")), QByteArray("another computer's file"));
  EXPECT_EQ(test::fileContents(bucket + QStringLiteral("/report 4.pdf")), QByteArray("second"));
  EXPECT_EQ(uploader->files().value(second.id), bucket + QStringLiteral("/report 4.pdf"));

  // Withdrawing removes our copy, never theirs.
  test::wait(uploader->withdraw({second}));
  EXPECT_FALSE(QFileInfo::exists(bucket + QStringLiteral("/report 4.pdf")));
  EXPECT_TRUE(QFileInfo::exists(bucket + QStringLiteral("/report 3.pdf")));
}

TEST_F(ICloudUploaderTest, ACopyStoppedMidwayLeavesNoFile) {
  const QString source = local.filePath(QStringLiteral("source.bin"));
  {
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(3 * SyncedFolderCopy::kStep));
  }
  std::atomic_bool stop = false;
  int steps = 0;
  const SyncedFolderCopy copy{source, root.filePath(QStringLiteral("dest/copy.bin")), {}, 3 * SyncedFolderCopy::kStep, {},
                              [&](double) {
                                ++steps;
                                stop = true;  // the user removes the item while the first step is written
                              },
                              &stop};
  try {
    copy.run();
    FAIL() << "the copy ran to its end";
  } catch (const UploadError& error) {
    EXPECT_EQ(error, UploadError::cancelled());
  }
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(QDir(root.filePath(QStringLiteral("dest"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

TEST_F(ICloudUploaderTest, AnItemRemovedMidCopyLeavesNoFile) {
  // A source that yields its bytes only as the test writes them holds the copy in its second step.
  const QString fifo = local.filePath(QStringLiteral("slow source"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const auto uploader = make();
  const UploadUnit unit{QUuid::createUuid(), QUuid::createUuid(), fifo, QStringLiteral("slow.bin"), 16 * 1024 * 1024};
  const QString placed = placeOne(*uploader, unit);

  std::atomic_bool keepWriting = true;
  std::thread writer([&] {
    // The copy closes its end when stopped: a write after that fails instead of killing the test.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
    const QByteArray chunk(64 * 1024, 'x');
    while (keepWriting && ::write(fd, chunk.constData(), size_t(chunk.size())) > 0) {
    }
    ::close(fd);
  });

  const CancelTokenPtr cancel = makeCancelToken();
  std::optional<UploadError> failure;
  bool done = false;
  [](ICloudUploader& up, UploadUnit u, QString to, CancelTokenPtr c, std::optional<UploadError>& f, bool& d) -> QCoro::Task<> {
    try {
      QCoro::Task<> running = up.upload(u, UploadDestination{u.id, QUrl::fromLocalFile(to), QStringLiteral("PUT"), {}}, {}, c);
      co_await std::move(running);
    } catch (const UploadError& error) {
      f = error;
    }
    d = true;
  }(*uploader, unit, placed, cancel, failure, done);
  ASSERT_TRUE(test::runUntil([&] { return QFileInfo(placed).size() > 0; }));

  cancel->cancel();
  QCoro::Task<> withdrawing = uploader->withdraw({unit});
  keepWriting = false;
  test::wait(std::move(withdrawing));
  writer.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(failure, UploadError::cancelled());
  EXPECT_FALSE(QFileInfo::exists(placed));
  EXPECT_EQ(QDir(QFileInfo(placed).absolutePath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

TEST_F(ICloudUploaderTest, AnUnreadableSourceFailsAndLeavesNothing) {
  const auto uploader = make();
  UploadUnit unit = localFile(QStringLiteral("gone.txt"), "x");
  const QString placed = placeOne(*uploader, unit);
  QFile::remove(unit.url);
  EXPECT_EQ(test::failureOf(uploader->upload(unit, UploadDestination{unit.id, QUrl::fromLocalFile(placed), QStringLiteral("PUT"), {}}, {}, {})),
            UploadError::fileUnreadable());
  EXPECT_FALSE(QFileInfo::exists(placed));
}

TEST_F(ICloudUploaderTest, AMissingRootReadsAsSwitchedOff) {
  const QString off = root.filePath(QStringLiteral("not made"));
  EXPECT_EQ(ICloudUploader::lastAvailabilityProblem(defaults), QStringLiteral("The synced folder has not been checked yet."));

  UploaderConfig config(UploaderConfig::Kind::icloud);
  ICloudUploader uploader(config, off, defaults, &signals, network);
  EXPECT_EQ(test::failureOf(uploader.registerUnits({localFile(QStringLiteral("a"), "a")})),
            UploadError::rejected(QStringLiteral("The synced folder is switched off on this computer.")));
  // Registering checked again and told everyone.
  EXPECT_EQ(defaults.stringValue(QStringLiteral("icloudState")), QStringLiteral("The synced folder is switched off on this computer."));
  EXPECT_EQ(ICloudUploader::lastAvailabilityProblem(defaults), QStringLiteral("The synced folder is switched off on this computer."));
  EXPECT_TRUE(defaults.doubleValue(QStringLiteral("icloudCheckedAt")));
  EXPECT_EQ(signals.posted(), QStringList{QStringLiteral("com.wrenfold.Parcelmoor.settingsChanged")});
  EXPECT_FALSE(QFileInfo::exists(off));
}

TEST_F(ICloudUploaderTest, ASuccessfulCheckStoresNoProblemAndLeavesNoProbe) {
  defaults.set(QStringLiteral("icloudState"), QStringLiteral("The synced folder is switched off on this computer."));
  defaults.set(QStringLiteral("icloudCheckedAt"), 0.0);
  const double before = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;

  EXPECT_EQ(ICloudUploader::checkAvailability(root.path(), defaults, &signals), std::nullopt);
  EXPECT_EQ(defaults.stringValue(QStringLiteral("icloudState")), QString());
  EXPECT_EQ(ICloudUploader::lastAvailabilityProblem(defaults), std::nullopt);
  EXPECT_GE(defaults.doubleValue(QStringLiteral("icloudCheckedAt")).value_or(0), before);
  EXPECT_EQ(signals.posted(), QStringList{QStringLiteral("com.wrenfold.Parcelmoor.settingsChanged")});
  EXPECT_EQ(QDir(documents()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
}

TEST_F(ICloudUploaderTest, TheRootComesFromTheEnvironmentOrTheDataFolder) {
  qputenv("PARCELMOOR_UBIQUITY_ROOT", root.path().toUtf8());
  EXPECT_EQ(ICloudUploader::standardRoot(), root.path());
  qunsetenv("PARCELMOOR_UBIQUITY_ROOT");
  EXPECT_TRUE(ICloudUploader::standardRoot().endsWith(QStringLiteral("/parcelmoor/drive")));
}

}  // namespace
}  // namespace pm
