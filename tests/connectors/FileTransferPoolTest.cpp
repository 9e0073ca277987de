// FTP uploads and copies into the synced folder hold a thread for as long as a file travels: they run on a
// pool of their own, so short work on the shared pool never waits behind them.
#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThreadPool>

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LocalUnits.h"
#include "connectors/FTPTransfer.h"
#include "connectors/ICloudUploader.h"
#include "connectors/SyncedFolderCopy.h"
#include "platform/Async.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// Runs `task` to its end in the background and says when it got there.
std::shared_ptr<bool> startAndWatch(QCoro::Task<> task) {
  auto done = std::make_shared<bool>(false);
  [](QCoro::Task<> running, std::shared_ptr<bool> ended) -> QCoro::Task<> {
    try {
      co_await std::move(running);
    } catch (...) {
    }
    *ended = true;
  }(std::move(task), done);
  return done;
}

TEST(FileTransferPool, ShortWorkOnTheSharedPoolNeverWaitsBehindTransfers) {
  // One thread, as the shared pool has on a one-core machine.
  QThreadPool& shared = *QThreadPool::globalInstance();
  const int threads = shared.maxThreadCount();
  shared.setMaxThreadCount(1);
  const auto restore = qScopeGuard([&] { shared.setMaxThreadCount(threads); });

  // An FTP server that takes connections and never greets: its uploads wait as long as the connect limit.
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  std::vector<std::unique_ptr<QTcpSocket>> connections;
  QObject::connect(&silent, &QTcpServer::newConnection, [&] {
    while (QTcpSocket* socket = silent.nextPendingConnection()) connections.emplace_back(socket);
  });
  QTemporaryDir local;
  const UploadUnit file = test::localUnit(local, QStringLiteral("a.txt"), "a");
  FTPTransfer::Options options;
  options.connectTimeout = 60s;
  const CancelTokenPtr cancel = makeCancelToken();
  std::vector<std::shared_ptr<bool>> transfers;
  for (int i = 0; i < 2; ++i) {
    const QUrl url(QStringLiteral("ftp://127.0.0.1:%1/a-%2.txt").arg(silent.serverPort()).arg(i));
    transfers.push_back(startAndWatch(FTPTransfer::upload(url, FTPCredentials{QStringLiteral("u"), QStringLiteral("p")},
                                                          FTPSecurity::plain, file.url, 1, {}, cancel, options)));
  }

  // A copy into the synced folder from a pipe that nobody writes to yet.
  QTemporaryDir root;
  const QString pipe = local.filePath(QStringLiteral("pipe"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  MemorySharedDefaults defaults;
  QNetworkAccessManager network;
  ICloudUploader synced(UploaderConfig(UploaderConfig::Kind::icloud), root.path(), defaults, nullptr, network);
  const UploadUnit piped{QUuid::createUuid(), QUuid::createUuid(), pipe, QStringLiteral("pipe.bin"), 0};
  const Registration registration = test::wait(synced.registerUnits({piped}));
  ASSERT_EQ(registration.destinations.size(), 1);
  transfers.push_back(startAndWatch(synced.upload(piped, registration.destinations.first(), {}, {})));

  // All three under way: both uploads connected, and the copy holds the pipe open for reading.
  int writer = -1;
  // However the test ends, the transfers are let go: the uploads cancelled, the pipe's reader given its end.
  const auto release = qScopeGuard([&] {
    cancel->cancel();
    if (writer < 0) writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  });
  ASSERT_TRUE(test::runUntil(
      [&] {
        if (writer < 0) writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        return connections.size() == 2 && writer >= 0;
      },
      30s));

  const auto quick = std::make_shared<int>(0);
  [](std::shared_ptr<int> out) -> QCoro::Task<> { *out = co_await runOnWorker([] { return 7; }); }(quick);
  EXPECT_TRUE(test::runUntil([&] { return *quick == 7; }, 10s)) << "a short job waited behind the transfers";

  cancel->cancel();
  ::close(std::exchange(writer, -1));
  EXPECT_TRUE(test::runUntil(
      [&] { return std::all_of(transfers.begin(), transfers.end(), [](const auto& done) { return *done; }); }, 30s));
}

// With an FTP upload waiting for a server that never greets and a copy into the synced folder reading a
// pipe that keeps flowing, the pools are finished as the program does when it quits. Returns 0 when that
// came back promptly and the copy left no file, as a cancelled copy does; anything else says what went wrong.
int finishPoolsWhileTransfersRun() {
  // Neither transfer ends by itself within this, so a finish that waits for them takes at least as long.
  constexpr auto kOwnEnd = 20s;
  std::signal(SIGPIPE, SIG_IGN);
  QTcpServer silent;
  if (!silent.listen(QHostAddress::LocalHost)) return 10;
  QTemporaryDir local;
  const UploadUnit file = test::localUnit(local, QStringLiteral("a.txt"), "a");
  FTPTransfer::Options options;
  options.connectTimeout = kOwnEnd;
  const QUrl url(QStringLiteral("ftp://127.0.0.1:%1/a.txt").arg(silent.serverPort()));
  const auto uploaded = startAndWatch(FTPTransfer::upload(url, FTPCredentials{QStringLiteral("u"), QStringLiteral("p")},
                                                          FTPSecurity::plain, file.url, 1, {}, makeCancelToken(), options));

  const QString pipe = local.filePath(QStringLiteral("pipe"));
  if (::mkfifo(QFile::encodeName(pipe).constData(), 0600) != 0) return 11;
  std::thread writer([&] {
    const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY);
    const QByteArray chunk(64 * 1024, 'x');
    QElapsedTimer writing;
    writing.start();
    while (fd >= 0 && writing.elapsed() < std::chrono::milliseconds(kOwnEnd).count()) {
      if (::write(fd, chunk.constData(), size_t(chunk.size())) < 0) break;  // the reader is gone
      QThread::msleep(5);
    }
    if (fd >= 0) ::close(fd);
  });
  QTemporaryDir synced;
  const QString target = synced.filePath(QStringLiteral("copy.bin"));
  const std::atomic_bool stop{false};
  const SyncedFolderCopy copy{pipe, target, {}, 0, {}, {}, &stop};
  fileTransferPool().start([copy] {
    try {
      copy.run();
    } catch (...) {
    }
  });
  QElapsedTimer flowing;
  flowing.start();
  while (QFileInfo(target).size() == 0 && flowing.elapsed() < 30'000) QThread::msleep(2);
  if (QFileInfo(target).size() == 0) return 12;

  QElapsedTimer finishing;
  finishing.start();
  finishWorkerPools();
  const qint64 took = finishing.elapsed();
  writer.join();
  if (took > 10'000) {
    std::fprintf(stderr, "finishing the pools took %lld ms\n", qint64(took));
    return 1;
  }
  if (QFileInfo::exists(target)) return 2;
  return 0;
}

// Quitting stops the transfers that still run, as removing their items would, instead of waiting until
// their files are through (a logout kills a program that takes too long). Run in a process of its own: the
// pools stay finished.
TEST(FileTransferPoolDeathTest, FinishingThePoolsStopsTheTransfersThatStillRun) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(finishPoolsWhileTransfersRun()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace pm
