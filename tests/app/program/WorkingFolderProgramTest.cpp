#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/stat.h>

#include "AgentProgramFixture.h"
#include "upload/UploadWorkingFolder.h"

namespace pm::test {
namespace {

using namespace std::chrono_literals;

using WorkingFolderProgram = AgentProgramFixture;

// A run killed mid-upload leaves its working files behind; the next start clears them and works in a
// fresh, private folder of its own.
TEST_F(WorkingFolderProgram, TheAgentClearsWhatAKilledRunLeftAndKeepsItsOwnFolderPrivate) {
  ASSERT_NO_FATAL_FAILURE(startService());
  const QString userFolder = UploadWorkingFolder::userFolder(agent->paths().temporary);
  const QString leftover = userFolder + QStringLiteral("/run-killed");
  ASSERT_TRUE(QDir().mkpath(leftover));
  ASSERT_EQ(::chmod(QFile::encodeName(userFolder).constData(), 0700), 0);
  QFile part(leftover + QStringLiteral("/pmr-part-1"));
  ASSERT_TRUE(part.open(QIODevice::WriteOnly));
  part.write(QByteArray(4096, 'x'));
  part.close();

  ASSERT_NO_FATAL_FAILURE(startAgent());

  // The agent answers on the bus before it has set up its working folder.
  const auto runs = [&] { return QDir(userFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot); };
  EXPECT_TRUE(runUntil([&] { return !QFileInfo::exists(leftover) && runs().size() == 1; }, 10s))
      << runs().join(u' ').toStdString() << agent->log().toStdString();
  EXPECT_FALSE(runs().contains(QStringLiteral("run-killed")));
  EXPECT_TRUE(UploadWorkingFolder::isPrivateFolder(userFolder));
}

// Whoever ends the agent by a signal (the session, a terminal, the run command) gets a quit: the run's
// folder is removed, nothing is left for the next start to clear.
TEST_F(WorkingFolderProgram, TheAgentQuitsCleanlyOnTerminateInterruptAndHangUp) {
  ASSERT_NO_FATAL_FAILURE(startService());
  const QString userFolder = UploadWorkingFolder::userFolder(agent->paths().temporary);
  const auto runs = [&] { return QDir(userFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot); };
  for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    ASSERT_NO_FATAL_FAILURE(startAgent());
    ASSERT_TRUE(runUntil([&] { return runs().size() == 1; }, 30s)) << agent->log().toStdString();
    ASSERT_EQ(::kill(pid_t(agent->processId()), signalNumber), 0);
    EXPECT_EQ(agent->waitForExit(), 0) << signalNumber << agent->log().toStdString();
    EXPECT_TRUE(runs().isEmpty()) << signalNumber << ": " << runs().join(u' ').toStdString();
    EXPECT_TRUE(agent->log().contains(QStringLiteral("quitting on signal %1").arg(signalNumber)));
    // The next start must not meet the name before the bus has let it go.
    ASSERT_TRUE(runUntil([] { return !AgentProcess::nameIsOwned(); }, 30s));
  }
}

}  // namespace
}  // namespace pm::test
