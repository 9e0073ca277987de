// FTP uploads and copies into the synced folder hold a thread for as long as a file travels: they run on a
// pool of their own, so short work on the shared pool never waits behind them.
#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThreadPool>

#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LocalUnits.h"
#include "connectors/FTPTransfer.h"
#include "connectors/ICloudUploader.h"
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

}  // namespace
}  // namespace pm
