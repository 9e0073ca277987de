#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include "AgentRig.h"
#include "app/Updater.h"
#include "core/AccountState.h"
#include "core/AppSettings.h"
#include "core/Bucket.h"
#include "core/SessionToken.h"
#include "platform/InboxWatcher.h"
#include "platform/SharedNames.h"
#include "support/FakeServiceBuckets.h"
#include "support/LogCapture.h"
#include "upload/BucketStore.h"
#include "upload/ParcelmoorUploader.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

QString literal(const char* text) {
  return QString::fromLatin1(text);
}

// The start-up lines of the log, in order, without their prefix.
QStringList startupSteps(const test::LogCapture& log) {
  QStringList steps;
  const QStringList lines = log.lines();
  for (const QString& line : lines) {
    const qsizetype at = line.indexOf(QLatin1String("start-up: "));
    if (at >= 0) steps.append(line.mid(at + 10));
  }
  return steps;
}

QStringList sorted(QStringList list) {
  list.sort();
  return list;
}

// The agent uploads to its own service with a signed-in account, through the service the rig fakes.
void signInToTheOwnService(test::AgentRig& rig) {
  rig.makeUploader = [&rig](const UploaderConfig&) {
    return std::make_unique<ParcelmoorUploader>(rig.network, rig.api);
  };
  rig.signIn();
  rig.storeConnections({UploaderConfig(UploaderConfig::Kind::parcelmoor)});
}

// One bucket opened at the service, holding the file of that name.
bool announcedAlone(const test::FakeServiceBuckets& buckets, const QString& name) {
  const QList<test::FakeServiceBuckets::Bucket> opened = buckets.buckets();
  return opened.size() == 1 && opened.first().file(name).has_value();
}

// A signed-in agent on its own service, not launched yet, with "report.txt" waiting in the inbox.
struct ReportWaitingForTheOwnService {
  test::AgentRig rig;
  test::FakeServiceBuckets buckets{rig.service};
  QString file;

  ReportWaitingForTheOwnService() {
    signInToTheOwnService(rig);
    file = rig.writeFile(QStringLiteral("report.txt"));
    rig.writeBatch({file});
  }
  bool announced() const { return announcedAlone(buckets, QStringLiteral("report.txt")); }
};

TEST(AgentStartup, BuildsAndLaunchesInOrderAndTakesWhatWaitedInTheInbox) {
  test::AgentRig rig;
  // What a previous run and the senders left behind.
  const SharedInbox::OpenBucket stale{QUuid::createUuid(), QStringLiteral("Old"),
                                      rig.clock.now().addDays(-1)};
  rig.defaults.set(literal(names::key::kOpenBucket), *stale.toJson());
  rig.root.write(QStringLiteral("group/upload-wake"), {});
  const QString first = rig.writeFile(QStringLiteral("first.txt"));
  const QString second = rig.writeFile(QStringLiteral("second.txt"));
  const SharedInbox::Batch one = rig.writeBatch({first});
  const SharedInbox::Batch two = rig.writeBatch({second});
  rig.defaults.set(literal(names::key::kPendingNotifications),
                   QByteArrayLiteral(R"([{"title":"Queued","body":"from the settings program"}])"));

  test::LogCapture log;
  AppDelegate& delegate = rig.launch();

  EXPECT_EQ(startupSteps(log),
            (QStringList{"settings", "store", "accounts", "sync", "updater", "notification access",
                         "pending notifications", "post-notification observer", "request observers",
                         "stale open bucket", "stale wake marker", "icloud check", "panel", "settings applied",
                         "inbox drain", "inbox watcher", "session check", "sync polling",
                         "daily session check"}));
  EXPECT_EQ(rig.trace, (QStringList{"icloud.check", "panel.attach", "panel.applyEdgeSetting", "panel.show",
                                    "panel.show", "sync.startPolling"}));
  EXPECT_EQ(rig.panel.store, &delegate.store());
  EXPECT_EQ(rig.panel.settings, &delegate.settings());

  // The notification access is published and the queue is delivered.
  EXPECT_TRUE(rig.defaults.contains(literal(names::key::kNotificationAccess)));
  ASSERT_EQ(rig.notifier.requests().size(), 1);
  EXPECT_EQ(rig.notifier.requests().first().title, QStringLiteral("Queued"));

  // The stale entries are gone; the open bucket is the new one.
  EXPECT_FALSE(QFile::exists(rig.root.paths().uploadWake()));
  const auto open =
      SharedInbox::OpenBucket::fromJson(*rig.defaults.dataValue(literal(names::key::kOpenBucket)));
  ASSERT_TRUE(open.has_value());
  EXPECT_EQ(open->uploaderID, delegate.settings().uploaders().first().id);
  EXPECT_EQ(open->startedAt, rig.clock.now());

  // Both batches went into one bucket, once. A batch enters the bucket in slices, the next one in a later turn
  // of the event loop, so the second may still be on its way.
  EXPECT_TRUE(test::runUntil([&] { return rig.bucketPaths().size() >= 2; }));
  EXPECT_EQ(sorted(rig.bucketPaths()), sorted({first, second}));
  EXPECT_EQ(rig.uploadersMadeFor.size(), 1);
  EXPECT_FALSE(QFile::exists(one.file));
  EXPECT_FALSE(QFile::exists(two.file));
  ASSERT_NE(delegate.watcher(), nullptr);
  EXPECT_TRUE(delegate.watcher()->isWatching());
  ASSERT_NE(delegate.sessionTouch(), nullptr);
  EXPECT_EQ(delegate.sessionTouch()->interval(), 86'400'000);

  // A batch that arrives later is taken by the watcher; the paths already in the bucket are not repeated.
  const QString third = rig.writeFile(QStringLiteral("third.txt"));
  rig.writeBatch({first, third});
  ASSERT_TRUE(test::runUntil([&] { return rig.bucketPaths().size() == 3; }));
  test::spin(200ms);
  EXPECT_EQ(rig.bucketPaths().size(), 3);
  EXPECT_EQ(rig.panel.shows, 3);
  EXPECT_EQ(rig.uploadersMadeFor.size(), 1);

  // The marker found at launch was consumed then: reopening now means the settings.
  EXPECT_TRUE(delegate.reopen());
  EXPECT_EQ(rig.workspace.openedPrograms, QStringList{*rig.settingsProgram});
}

TEST(AgentStartup, LaunchesOnlyOnce) {
  test::AgentRig rig;
  AppDelegate& delegate = rig.launch();
  delegate.finishLaunching();
  EXPECT_EQ(rig.trace.count(QStringLiteral("sync.startPolling")), 1);
  EXPECT_EQ(rig.recording->subscribed.count(literal(names::signal::kSignOut)), 1);
}

TEST(AgentStartup, DailySessionCheckRunsOnItsTimerAndStopsWithTheDelegate) {
  test::AgentRig rig;
  rig.signIn();
  rig.launch();
  const auto checks = [&] { return rig.service.count("GET", QStringLiteral("auth/get-session")); };
  const auto confirmed = [&] {
    return AccountState::load(rig.defaults) ==
           AccountState::signedIn(QStringLiteral("ada@example.com"), true);
  };
  // The start-up check, answered to the end, so a check the timer starts is not skipped as a repeat.
  ASSERT_TRUE(test::runUntil([&] { return checks() == 1 && confirmed(); }, 30s));

  // The day passes as the timer's own firing, not as time waited for.
  const QPointer<QTimer> timer(rig.delegate->sessionTouch());
  ASSERT_TRUE(timer && timer->isActive());
  ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout"));
  ASSERT_TRUE(test::runUntil([&] { return checks() == 2 && confirmed(); }, 30s));

  // A firing whose check is still queued when the delegate goes checks nothing: a check that started would
  // publish the stored session at once, before it asks the service.
  ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout"));
  rig.destroyDelegate();
  EXPECT_TRUE(timer.isNull()) << "the timer is the delegate's and goes with it";
  rig.defaults.remove(literal(names::key::kAccountState));
  bool flushed = false;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&] { flushed = true; }, Qt::QueuedConnection);
  ASSERT_TRUE(test::runUntil([&] { return flushed; }, 30s));
  EXPECT_FALSE(rig.defaults.contains(literal(names::key::kAccountState)));
  EXPECT_EQ(checks(), 2);
}

// A batch that waited for the agent goes to the service at once: nothing it needs waits for the account's
// session check, which a slow service may keep for long.
TEST(AgentStartup, TheFirstBatchIsRegisteredWhileTheSessionCheckWaitsForItsAnswer) {
  ReportWaitingForTheOwnService waiting;
  test::AgentRig& rig = waiting.rig;
  // Held until the test ends (stopping the service cuts the wait short).
  rig.service.delayNext("GET", QStringLiteral("auth/get-session"), 120s);

  rig.launch();
  ASSERT_TRUE(test::runUntil([&] { return waiting.announced(); }));
  EXPECT_EQ(rig.service.count("GET", QStringLiteral("auth/get-session")), 1) << "the check was asked";
  EXPECT_EQ(rig.service.count("GET", QStringLiteral("me")), 0) << "and is still unanswered";
  // Meanwhile the stored session is shown as signed in.
  EXPECT_EQ(AccountState::load(rig.defaults).kind(), AccountState::Case::signedIn);
}

// Sync's first pull blocks on a keychain read before it asks anything; a batch that waited for the agent
// is handed to the bucket's session by then (its folders are read on a worker), and the session check has
// been asked.
TEST(AgentStartup, TheFirstBatchIsRegisteredBeforeSyncStartsPolling) {
  ReportWaitingForTheOwnService waiting;
  test::AgentRig& rig = waiting.rig;

  rig.make();
  // As in the agent, whose read of the token starts before the delegate is built and is done by now.
  ASSERT_TRUE(test::wait(rig.api.sessionToken().load()).has_value());
  std::optional<QStringList> inBucketWhenPolling;
  std::optional<AccountState::Case> accountWhenPolling;
  rig.sync->onStartPolling = [&] {
    inBucketWhenPolling = rig.handedPaths();
    accountWhenPolling = AccountState::load(rig.defaults).kind();
  };
  rig.launch();

  ASSERT_TRUE(inBucketWhenPolling.has_value()) << "sync polls from the start";
  EXPECT_EQ(*inBucketWhenPolling, QStringList{waiting.file});
  // The session check started first: it shows the stored session at once.
  EXPECT_EQ(accountWhenPolling, AccountState::Case::signedIn);
  ASSERT_TRUE(test::runUntil([&] { return waiting.announced(); }));
}

// The keychain answers slowly and on the main thread would hold everything else: the session check and the
// batch's requests share one read of the token.
TEST(AgentStartup, TheSessionCheckAndTheFirstBatchReadTheTokenOnce) {
  ReportWaitingForTheOwnService waiting;
  test::AgentRig& rig = waiting.rig;

  rig.launch();
  ASSERT_TRUE(test::runUntil([&] { return waiting.announced(); }));
  // The check is over once it published what the service said of the account.
  ASSERT_TRUE(test::runUntil(
      [&] { return AccountState::load(rig.defaults).email() == QStringLiteral("ada@example.com"); }));
  EXPECT_EQ(rig.keychain.readCount(literal(names::keychain::kSessionService), sessionTokenAccount()), 1);
}

TEST(AgentStartup, AutomaticUpdatesFollowThePreferenceFromTheStart) {
  test::AgentRig rig;
  rig.defaults.set(literal(names::key::kAutomaticUpdates), false);
  AppDelegate& delegate = rig.make();
  EXPECT_TRUE(delegate.updater().automaticallyChecks()) << "an updater starts checking automatically";
  rig.launch();
  EXPECT_FALSE(delegate.updater().automaticallyChecks());
}

}  // namespace
}  // namespace pm
