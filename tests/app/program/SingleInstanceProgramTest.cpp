#include <QDBusConnection>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include "AgentProgramFixture.h"
#include "platform/SingleInstance.h"

namespace pm::test {
namespace {

using namespace std::chrono_literals;

class SingleInstanceProgram : public AgentProgramFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(startService()); }

  // Waits until the settings program was started `count` times, then a moment longer to see no more come.
  void expectSettingsLaunches(int count) {
    EXPECT_TRUE(runUntil([&] { return agent->settingsProgramLaunches() >= count; }))
        << agent->log().toStdString();
    spin(200ms);
    EXPECT_EQ(agent->settingsProgramLaunches(), count);
  }
};

TEST_F(SingleInstanceProgram, ASecondLaunchHandsItsRequestToTheRunningAgentAndEnds) {
  ASSERT_NO_FATAL_FAILURE(startAgent());
  // Neither a plain reopen (no fresh wake marker) nor a link the agent cannot take has anything else to
  // show, so each brings up the settings program.
  const QStringList launches[] = {{}, {QStringLiteral("parcelmoor://oauth/?state=s&code=c")}};
  int expected = 0;
  for (const QStringList& arguments : launches) {
    const AgentProcess::Finished second = agent->launch(arguments);
    EXPECT_EQ(second.exitCode, 0) << second.errors.toStdString();
    expectSettingsLaunches(++expected);
    EXPECT_TRUE(agent->isRunning());
  }
}

TEST_F(SingleInstanceProgram, ALaunchThatTheNameHolderNeverAnswersStartsNoSecondAgent) {
  // This test process holds the agent's name but exports nothing, as a hung or foreign owner would.
  QDBusConnection bus = QDBusConnection::sessionBus();
  const QString name = QString::fromLatin1(SingleInstance::kServiceName);
  ASSERT_TRUE(bus.registerService(name));
  const auto release = qScopeGuard([&] { bus.unregisterService(name); });

  const AgentProcess::Finished launch = agent->launch({});
  EXPECT_EQ(launch.exitCode, 1);
  EXPECT_TRUE(launch.errors.contains(QStringLiteral("does not answer, so no second one was started")))
      << launch.errors.toStdString();
  EXPECT_EQ(agent->settingsProgramLaunches(), 0);
}

TEST_F(SingleInstanceProgram, AFirstLaunchOpensOnlyItsOwnLinks) {
  struct Case {
    QStringList arguments;
    int settingsLaunches;
  };
  const Case cases[] = {
      {{}, 0},
      {{QStringLiteral("parcelmoor://oauth/?state=s&code=c")}, 1},
      {{QStringLiteral("https://example.com/"), QStringLiteral("/etc/passwd")}, 0},
  };
  int launchesBefore = 0;
  for (const Case& row : cases) {
    SCOPED_TRACE(row.arguments.join(QLatin1Char(' ')).toStdString());
    ASSERT_NO_FATAL_FAILURE(startAgent(row.arguments));
    // A plain second launch afterwards marks where the first launch's own effects end.
    ASSERT_EQ(agent->launch({}).exitCode, 0);
    launchesBefore += row.settingsLaunches + 1;
    expectSettingsLaunches(launchesBefore);
    agent->stop();
  }
}

TEST_F(SingleInstanceProgram, SendHandsFilesToTheRunningAgent) {
  ASSERT_NO_FATAL_FAILURE(startAgent());
  ASSERT_FALSE(agent->preference(QStringLiteral("openBucket")).isValid());
  const QString first = root.write(QStringLiteral("files/report.pdf"), "%PDF-1.7");
  const QString second = root.write(QStringLiteral("files/photos/beach.jpg"), "jpeg");

  const AgentProcess::Finished sent =
      agent->launch({QStringLiteral("send"), first, QFileInfo(second).path()});
  ASSERT_EQ(sent.exitCode, 0) << sent.errors.toStdString();

  // The agent drained the batch into a bucket of its own: it published the open bucket for senders.
  EXPECT_TRUE(runUntil([&] { return agent->preference(QStringLiteral("openBucket")).isValid(); }))
      << agent->log().toStdString();
  EXPECT_TRUE(inboxFiles().isEmpty());
  EXPECT_FALSE(wakeMarkerExists());
  // A fresh wake marker makes the reopen a drain, not a request for the settings.
  EXPECT_EQ(agent->settingsProgramLaunches(), 0);
}

TEST_F(SingleInstanceProgram, SendWithAMissingPathSendsNothing) {
  const QString present = root.write(QStringLiteral("files/present.txt"), "here");
  const QStringList cases[] = {{QStringLiteral("/no/such/file")}, {present, QStringLiteral("/no/such/file")}};
  for (const QStringList& paths : cases) {
    SCOPED_TRACE(paths.join(QLatin1Char(' ')).toStdString());
    // From a terminal without a display: the command needs none.
    const AgentProcess::Finished sent = agent->launch(QStringList{QStringLiteral("send")} + paths, true);
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_TRUE(sent.errors.contains(QStringLiteral("/no/such/file"))) << sent.errors.toStdString();
    EXPECT_TRUE(sent.errors.contains(QStringLiteral("Nothing was sent."))) << sent.errors.toStdString();
    EXPECT_TRUE(inboxFiles().isEmpty());
    EXPECT_FALSE(wakeMarkerExists());
    EXPECT_FALSE(AgentProcess::nameIsOwned()) << "no agent is started for nothing";
  }
}

TEST_F(SingleInstanceProgram, SendStartsTheAgentWhenNoneRuns) {
  const QString file = root.write(QStringLiteral("files/notes.txt"), "notes");
  const AgentProcess::Finished sent = agent->launch({QStringLiteral("send"), file});
  ASSERT_EQ(sent.exitCode, 0) << sent.errors.toStdString();

  // The agent it started runs detached; the fixture ends it with the environment it runs in.
  ASSERT_TRUE(runUntil([] { return AgentProcess::nameIsOwned(); }));
  EXPECT_EQ(agent->detachedAgents().size(), 1);
  EXPECT_TRUE(runUntil([&] { return agent->preference(QStringLiteral("openBucket")).isValid(); }));
  EXPECT_TRUE(inboxFiles().isEmpty());
}

}  // namespace
}  // namespace pm::test
