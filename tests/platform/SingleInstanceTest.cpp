#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>

#include "SingleInstanceProbeProcess.h"
#include "platform/SingleInstance.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using test::runUntil;

// Each test owns a name of its own, so tests running side by side (and a real agent) never meet.
QString uniqueServiceName() {
  return QStringLiteral("com.wrenfold.ParcelmoorTest.I") + QUuid::createUuid().toString(QUuid::Id128);
}

// What the agent object emitted.
struct Requests {
  explicit Requests(SingleInstance& agent) {
    QObject::connect(&agent, &SingleInstance::reopenRequested, [this] { ++reopens; });
    QObject::connect(&agent, &SingleInstance::urlsOpened,
                     [this](const QStringList& urls) { opened.append(urls); });
  }
  int reopens = 0;
  QList<QStringList> opened;
};

TEST(SingleInstance, ASecondLaunchForwardsReopenToTheRunningAgentAndExitsZero) {
  const QString name = uniqueServiceName();
  SingleInstance agent(QDBusConnection::sessionBus(), name);
  ASSERT_EQ(agent.claim(), SingleInstance::Claim::claimed);
  Requests requests(agent);

  test::SingleInstanceProbe second(name, {});
  ASSERT_TRUE(second.waitForExit());
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(second.lines(), QStringList{QStringLiteral("forwarded")});
  EXPECT_TRUE(runUntil([&] { return requests.reopens == 1; }));
  EXPECT_TRUE(requests.opened.isEmpty());
}

TEST(SingleInstance, ForwardsOnlyTheSchemeUrlsOfALaunch) {
  const QString name = uniqueServiceName();
  SingleInstance agent(QDBusConnection::sessionBus(), name);
  ASSERT_EQ(agent.claim(), SingleInstance::Claim::claimed);
  Requests requests(agent);

  const QString callback = QStringLiteral("parcelmoor://oauth/dropbox?state=s&code=c");
  test::SingleInstanceProbe second(
      name, {QStringLiteral("/etc/passwd"), callback, QStringLiteral("https://example.com/x"),
             QStringLiteral("PARCELMOOR://oauth/onedrive")});
  ASSERT_TRUE(second.waitForExit());
  EXPECT_EQ(second.exitCode(), 0);
  ASSERT_TRUE(runUntil([&] { return requests.opened.size() == 1; }));
  EXPECT_EQ(requests.opened.at(0), (QStringList{callback, QStringLiteral("PARCELMOOR://oauth/onedrive")}));
  EXPECT_EQ(requests.reopens, 0);
}

TEST(SingleInstance, TwoLaunchesAtTheSameMomentLeaveOneAgent) {
  const QString name = uniqueServiceName();
  auto first = std::make_unique<test::SingleInstanceProbe>(name, QStringList{});
  auto second = std::make_unique<test::SingleInstanceProbe>(name, QStringList{});
  ASSERT_TRUE(runUntil([&] { return !first->running() || !second->running(); }, std::chrono::seconds(15)));
  test::SingleInstanceProbe& forwarder = first->running() ? *second : *first;
  test::SingleInstanceProbe& primary = first->running() ? *first : *second;

  EXPECT_EQ(forwarder.exitCode(), 0);
  EXPECT_EQ(forwarder.lines(), QStringList{QStringLiteral("forwarded")});
  EXPECT_TRUE(primary.waitForLine(QStringLiteral("reopen")));
  EXPECT_EQ(primary.lines().first(), QStringLiteral("primary"));
}

TEST(SingleInstance, TheNameIsFreeAgainOnceTheAgentHasGone) {
  const QString name = uniqueServiceName();
  {
    test::SingleInstanceProbe agent(name, {});
    ASSERT_TRUE(agent.waitForLine(QStringLiteral("primary")));
    EXPECT_TRUE(SingleInstance::isRunning(QDBusConnection::sessionBus(), name));
    agent.kill();
  }
  EXPECT_TRUE(runUntil([&] { return !SingleInstance::isRunning(QDBusConnection::sessionBus(), name); }));
  EXPECT_FALSE(SingleInstance::forwardToRunning({}, QDBusConnection::sessionBus(), name));

  SingleInstance next(QDBusConnection::sessionBus(), name);
  EXPECT_EQ(next.claimOrForward({}), SingleInstance::Launch::primary);
  EXPECT_TRUE(next.isClaimed());
}

TEST(SingleInstance, AHolderThatNeverAnswersIsReportedNotTakenForAForward) {
  const QString name = uniqueServiceName();
  // Owns the name on a connection of its own without exporting the agent object.
  QDBusConnection squatter = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
  ASSERT_TRUE(squatter.registerService(name));

  SingleInstance launch(QDBusConnection::sessionBus(), name);
  EXPECT_EQ(launch.claimOrForward({}), SingleInstance::Launch::unanswered);
  EXPECT_FALSE(launch.isClaimed());
  squatter.unregisterService(name);
  QDBusConnection::disconnectFromBus(name);
}

TEST(SingleInstance, OpenUrlsCalledOnTheBusPassesOnlySchemeUrls) {
  const QString name = uniqueServiceName();
  SingleInstance agent(QDBusConnection::sessionBus(), name);
  ASSERT_EQ(agent.claim(), SingleInstance::Claim::claimed);
  Requests requests(agent);

  // As a foreign caller would send it, past the forwarding side's filter.
  QDBusMessage call = QDBusMessage::createMethodCall(name, QString::fromLatin1(SingleInstance::kObjectPath),
                                                     QString::fromLatin1(SingleInstance::kInterface),
                                                     QStringLiteral("OpenUrls"));
  call << QStringList{QStringLiteral("file:///etc/passwd"), QStringLiteral("https://example.com")};
  QDBusConnection caller =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, name + QLatin1String("c"));
  caller.asyncCall(call);
  ASSERT_TRUE(runUntil([&] { return requests.opened.size() == 1; }));
  EXPECT_EQ(requests.opened.at(0), QStringList{});
  QDBusConnection::disconnectFromBus(name + QLatin1String("c"));
}

TEST(SingleInstance, SchemeUrlsKeepsParcelmoorUrlsInOrder) {
  struct Case {
    QStringList arguments;
    QStringList urls;
  };
  const Case cases[] = {
      {{}, {}},
      {{QStringLiteral("parcelmoor://oauth/x")}, {QStringLiteral("parcelmoor://oauth/x")}},
      {{QStringLiteral("Parcelmoor:open"), QStringLiteral("/tmp/a.txt")},
       {QStringLiteral("Parcelmoor:open")}},
      {{QStringLiteral("parcelmoorx://a"), QStringLiteral("https://a"), QStringLiteral("relative/path")}, {}},
      {{QStringLiteral("parcelmoor://b"), QStringLiteral("parcelmoor://a")},
       {QStringLiteral("parcelmoor://b"), QStringLiteral("parcelmoor://a")}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SingleInstance::schemeUrls(c.arguments), c.urls) << c.arguments.join(' ').toStdString();
}

}  // namespace
}  // namespace pm
