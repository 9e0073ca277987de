#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QUuid>

#include <gtest/gtest.h>

#include "core/SharedInbox.h"
#include "core/UploaderConfig.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/SingleInstance.h"
#include "platform/SingleInstanceProbeProcess.h"
#include "send/SendCommand.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using test::runUntil;

struct SendFixture {
  test::TempRoot root;
  MemorySharedDefaults defaults;
  SystemClock clock;
  SharedInbox inbox{root.paths(), defaults, clock};
  SendCommandEnvironment environment;
  QString output;
  QString errors;

  SendFixture() {
    environment.paths = root.paths();
    environment.defaults = &defaults;
    environment.serviceName =
        QStringLiteral("com.wrenfold.ParcelmoorTest.S") + QUuid::createUuid().toString(QUuid::Id128);
    // Never this test program itself: a start that was not expected leaves no trace and fails nothing.
    environment.agentProgram = root.file(QStringLiteral("no-agent-expected"));
  }

  int send(const QStringList& arguments) {
    QTextStream out(&output);
    QTextStream err(&errors);
    return runSendCommand(arguments, out, err, environment);
  }

  // Stores a connection of the own service under `id`, as the agent keeps its connections.
  void storeConnection(const QString& id) {
    UploaderConfig config(UploaderConfig::Kind::parcelmoor);
    config.id = QUuid(id);
    defaults.set(QString::fromLatin1(names::key::kUploaderConfigs), *UploaderConfig::encodeList({config}));
  }
};

TEST(SendCommand, WakesTheRunningAgentAfterLeavingTheBatch) {
  SendFixture f;
  test::SingleInstanceProbe agent(f.environment.serviceName, {});
  ASSERT_TRUE(agent.waitForLine(QStringLiteral("primary")));
  const QString file = f.root.write(QStringLiteral("report.pdf"), "%PDF");
  f.storeConnection(QStringLiteral("D2B1E4A0-3C5F-4F6E-8A7B-9C0D1E2F3A4B"));

  EXPECT_EQ(
      f.send({QStringLiteral("--connection"), QStringLiteral("d2b1e4a0-3c5f-4f6e-8a7b-9c0d1e2f3a4b"), file}),
      0)
      << f.errors.toStdString();
  EXPECT_TRUE(agent.waitForLine(QStringLiteral("reopen")));
  EXPECT_EQ(agent.lines().size(), 2);
  EXPECT_TRUE(f.inbox.consumeUploadWake());
  const QList<SharedInbox::Batch> batches = f.inbox.loadBatches();
  ASSERT_EQ(batches.size(), 1);
  EXPECT_EQ(batches[0].paths, QStringList{file});
  EXPECT_EQ(batches[0].uploaderID, QUuid(QStringLiteral("D2B1E4A0-3C5F-4F6E-8A7B-9C0D1E2F3A4B")));
}

TEST(SendCommand, StartsTheAgentDetachedWhenNoneRuns) {
  SendFixture f;
  const QString started = f.root.file(QStringLiteral("started"));
  const QString agent =
      f.root.write(QStringLiteral("agent.sh"), "#!/bin/sh\necho started > '" + started.toUtf8() + "'\n");
  ASSERT_TRUE(QFile::setPermissions(agent, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  f.environment.agentProgram = agent;

  EXPECT_EQ(f.send({f.root.write(QStringLiteral("a.txt"), "a")}), 0) << f.errors.toStdString();
  EXPECT_TRUE(runUntil([&] { return QFileInfo::exists(started); }));
  EXPECT_EQ(f.inbox.loadBatches().size(), 1);
}

TEST(SendCommand, AnAgentThatCannotBeStartedLeavesTheBatchAndSaysSo) {
  SendFixture f;
  EXPECT_EQ(f.send({f.root.write(QStringLiteral("a.txt"), "a")}), 1);
  EXPECT_TRUE(f.errors.contains(QStringLiteral("Parcelmoor could not be started"))) << f.errors.toStdString();
  EXPECT_EQ(f.inbox.loadBatches().size(), 1);
}

TEST(SendCommand, AnAgentThatHoldsTheNameButDoesNotAnswerIsReportedAndNoSecondOneStarts) {
  SendFixture f;
  // Owns the agent's name on a connection of its own, without the agent object.
  QDBusConnection squatter =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, f.environment.serviceName);
  ASSERT_TRUE(squatter.registerService(f.environment.serviceName));
  const QString started = f.root.file(QStringLiteral("started"));
  f.environment.agentProgram =
      f.root.write(QStringLiteral("agent.sh"), "#!/bin/sh\ntouch '" + started.toUtf8() + "'\n");
  QFile::setPermissions(f.environment.agentProgram, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

  EXPECT_EQ(f.send({f.root.write(QStringLiteral("a.txt"), "a")}), 1);
  EXPECT_TRUE(f.errors.contains(QStringLiteral("Parcelmoor is running but did not answer")))
      << f.errors.toStdString();
  EXPECT_EQ(f.inbox.loadBatches().size(), 1);
  test::spin(std::chrono::milliseconds(200));
  EXPECT_FALSE(QFileInfo::exists(started));
  squatter.unregisterService(f.environment.serviceName);
  QDBusConnection::disconnectFromBus(f.environment.serviceName);
}

TEST(SendCommand, WrongArgumentsOrMissingFilesWriteNothing) {
  const struct {
    QStringList arguments;
    int exitCode;
    QString message;
  } cases[] = {
      {{QStringLiteral("/no/such/file")}, 1, QStringLiteral("No such file or folder: /no/such/file")},
      {{}, 2, QStringLiteral("No files or folders to send.")},
      {{QStringLiteral("--connection"), QStringLiteral("not-a-uuid"), QStringLiteral("/tmp")},
       2,
       QStringLiteral("Not a connection identifier")},
      {{QStringLiteral("/tmp"), QStringLiteral("--connection")},
       2,
       QStringLiteral("--connection needs a connection identifier.")},
      {{QStringLiteral("--verbose"), QStringLiteral("/tmp")}, 2, QStringLiteral("Unknown option: --verbose")},
      // After "--" a name that looks like an option is a path.
      {{QStringLiteral("--"), QStringLiteral("--verbose")}, 1, QStringLiteral("No such file or folder: ")},
  };
  for (const auto& c : cases) {
    SendFixture f;
    EXPECT_EQ(f.send(c.arguments), c.exitCode) << c.arguments.join(' ').toStdString();
    EXPECT_TRUE(f.errors.contains(c.message)) << f.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(f.root.paths().inbox()) && !QDir(f.root.paths().inbox()).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(f.root.paths().uploadWake()));
  }
}

// A connection that is not stored would quietly become the first ready one in the agent.
TEST(SendCommand, AConnectionThatIsNotStoredSendsNothing) {
  const QString stored = QStringLiteral("D2B1E4A0-3C5F-4F6E-8A7B-9C0D1E2F3A4B");
  const struct {
    QString asked;
    int exitCode;
  } cases[] = {
      {QStringLiteral("0F8E2A4C-6B1D-4E3F-9A7C-2D5B8E1F4A6C"), 1},
      {stored.toLower(), 0},
  };
  for (const auto& c : cases) {
    SendFixture f;
    f.storeConnection(stored);
    // Started when none runs, so a sent batch ends in a start of this stand-in.
    const QString started = f.root.file(QStringLiteral("started"));
    f.environment.agentProgram =
        f.root.write(QStringLiteral("agent.sh"), "#!/bin/sh\necho started > '" + started.toUtf8() + "'\n");
    ASSERT_TRUE(QFile::setPermissions(f.environment.agentProgram, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    EXPECT_EQ(f.send({QStringLiteral("--connection"), c.asked, f.root.write(QStringLiteral("a.txt"), "a")}),
              c.exitCode)
        << f.errors.toStdString();
    if (c.exitCode == 0) {
      EXPECT_EQ(f.inbox.loadBatches().size(), 1);
      EXPECT_TRUE(runUntil([&] { return QFileInfo::exists(started); }));
      continue;
    }
    EXPECT_TRUE(f.errors.contains(QStringLiteral("No connection has the identifier ") + c.asked))
        << f.errors.toStdString();
    EXPECT_TRUE(f.errors.contains(QStringLiteral("Nothing was sent."))) << f.errors.toStdString();
    EXPECT_TRUE(f.inbox.loadBatches().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(f.root.paths().uploadWake()));
  }
}

TEST(SendCommand, HelpPrintsTheUsageToStandardOutput) {
  SendFixture f;
  EXPECT_EQ(f.send({QStringLiteral("--help")}), 0);
  EXPECT_TRUE(f.output.startsWith(QStringLiteral("Usage: Parcelmoor send [--connection <UUID>]")));
  EXPECT_TRUE(f.errors.isEmpty()) << f.errors.toStdString();
}

}  // namespace
}  // namespace pm
