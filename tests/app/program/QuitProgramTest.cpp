#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <signal.h>

#include "AgentProgramFixture.h"
#include "connectors/FTPCredentials.h"
#include "core/Identifiers.h"
#include "core/UploaderConfig.h"
#include "support/FTPServerPeer.h"

namespace pm::test {
namespace {

using namespace std::chrono_literals;

// The size of the first file below `folder` that holds any bytes; 0 while there is none.
qint64 firstFileSize(const QString& folder) {
  QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
  while (files.hasNext()) {
    const qint64 size = QFileInfo(files.next()).size();
    if (size > 0) return size;
  }
  return 0;
}

class QuitProgram : public AgentProgramFixture {
 protected:
  ~QuitProgram() override {
    if (ftpConnection) FTPCredentials::save(keychain, std::nullopt, *ftpConnection);
  }

  // Stores an FTP connection to `server` (with its login in the keychain) for the agent to find at start.
  QUuid storeFTPConnection(const FTPServerPeer& server) {
    UploaderConfig config(UploaderConfig::Kind::ftp);
    config.endpoint = QStringLiteral("127.0.0.1");
    config.port = server.port();
    config.ftpSecurity = FTPSecurity::plain;
    ftpConnection = config.id;
    EXPECT_TRUE(FTPCredentials::save(keychain, FTPCredentials{server.options().user, server.options().password},
                                     config.id));
    agent->setPreference(QStringLiteral("uploaderConfigs"), *UploaderConfig::encodeList({config}));
    return config.id;
  }

  // A file of `size` bytes, made at once (a sparse file reads as zeros).
  QString largeFile(qint64 size) {
    const QString path = root.file(QStringLiteral("large.bin"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size));
    return path;
  }

  std::optional<QUuid> ftpConnection;
};

// A session that logs out sends SIGTERM and kills what is still there a little later: an upload that still
// runs is stopped as a removed item's is, instead of holding the quit until its last byte is through.
TEST_F(QuitProgram, AQuitStopsARunningFTPUploadAtOnce) {
  constexpr qint64 kSize = 64 * 1024 * 1024;
  QTemporaryDir served;
  // At 2 MiB a second the whole file would take half a minute.
  const FTPServerPeer server({served.path(), QStringLiteral("parcel"), QStringLiteral("moor-secret"), {}, {},
                              2 * 1024 * 1024});
  ASSERT_EQ(server.failure(), QString());
  ASSERT_NO_FATAL_FAILURE(startService());
  const QUuid connection = storeFTPConnection(server);
  ASSERT_NO_FATAL_FAILURE(startAgent());

  const AgentProcess::Finished sent =
      agent->launch({QStringLiteral("send"), QStringLiteral("--connection"), uuidText(connection), largeFile(kSize)});
  ASSERT_EQ(sent.exitCode, 0) << sent.errors.toStdString();
  ASSERT_TRUE(runUntil([&] { return firstFileSize(served.path()) > 0; }, 30s)) << agent->log().toStdString();

  QElapsedTimer quitting;
  quitting.start();
  ASSERT_EQ(::kill(pid_t(agent->processId()), SIGTERM), 0);
  EXPECT_EQ(agent->waitForExit(10s), 0) << agent->log().toStdString();
  EXPECT_LT(quitting.elapsed(), 10'000);
  // What a cancelled transfer leaves: the bytes that were through, never a whole file.
  EXPECT_LT(firstFileSize(served.path()), kSize);
}

// The first signal asks the agent to quit; a second one, while that quit is under way or stuck, is the
// session insisting and ends the process at once. The agent is held stopped while both arrive, so the
// second is there before the first can have been taken up; two different signals, since the same one
// twice would arrive as one.
TEST_F(QuitProgram, ASecondTerminationSignalEndsTheAgentAtOnce) {
  ASSERT_NO_FATAL_FAILURE(startService());
  ASSERT_NO_FATAL_FAILURE(startAgent());
  const auto pid = pid_t(agent->processId());

  ASSERT_EQ(::kill(pid, SIGSTOP), 0);
  ASSERT_EQ(::kill(pid, SIGINT), 0);
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  ASSERT_EQ(::kill(pid, SIGCONT), 0);

  // Nothing: it did not end by exiting (a quit that ran its course exits with 0).
  EXPECT_EQ(agent->waitForExit(10s), std::nullopt);
  EXPECT_FALSE(agent->isRunning()) << agent->log().toStdString();
}

}  // namespace
}  // namespace pm::test
