#include <QElapsedTimer>
#include <QSemaphore>

#include <gtest/gtest.h>

#include "EnvelopeByHand.h"
#include "HeldSleeps.h"
#include "SyncMachine.h"
#include "platform/SharedNames.h"
#include "support/FakeServiceSync.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using Failure = SyncState::Failure;
using Reply = test::FakeService::Reply;
using namespace std::chrono_literals;

const QString kAccount = QStringLiteral("ada@example.com");
const QString kCopy = QStringLiteral("sync/uploaders");
const QString kPairings = QStringLiteral("sync/pairings");
const QString kSyncService = QStringLiteral("com.wrenfold.Parcelmoor.sync");
const QString kPendingCode = QStringLiteral("pendingSyncCode");

class SyncCoordinatorTest : public ::testing::Test {
 protected:
  std::unique_ptr<test::SyncMachine> machine(
      SyncCoordinator::Timings timings = test::SyncMachine::fastTimings(), bool unreachable = false) {
    return std::make_unique<test::SyncMachine>(service, service.createSession(kAccount, true), clock, timings,
                                               unreachable);
  }
  // A machine on the manual clock whose waits end only when `sleeps` releases them.
  std::unique_ptr<test::SyncMachine> heldMachine() {
    SyncCoordinator::Timings timings = test::SyncMachine::fastTimings();
    timings.sleep = sleeps.sleep();
    return std::make_unique<test::SyncMachine>(service, service.createSession(kAccount, true), manual,
                                               timings);
  }
  static bool reaches(const test::SyncMachine& m, const SyncState& state) {
    return test::eventually([&] { return m.state() == state; });
  }
  static bool idle(const test::SyncMachine& m) {
    return test::eventually([&] { return m.coordinator.isIdle(); });
  }
  // Turns sync on in `m` from scratch and waits until it is on.
  QString turnOnFromScratch(test::SyncMachine& m) {
    m.coordinator.turnOn();
    if (!reaches(m, SyncState::on())) throw std::runtime_error("sync did not come on");
    return *m.syncKey();
  }
  void offerFrom(test::SyncMachine& m) {
    const QString key = *m.syncKey();
    m.coordinator.startFlow([&m, key] { return m.coordinator.offer(key); });
  }
  // The code `m` shows once its offer is open.
  QString shownCode(const test::SyncMachine& m) {
    if (!test::eventually([&] { return m.state().kind() == SyncState::Case::offering; }))
      throw std::runtime_error("no offer shown");
    return m.state().code();
  }
  void typeCode(test::SyncMachine& m, const QString& typed) {
    m.defaults.set(kPendingCode, typed);
    m.coordinator.submitPendingCode();
  }
  // Opens a pairing from `offering`'s account, lets `joining` answer the typed code and hands it `key`.
  void handOver(test::SyncMachine& offering, test::SyncMachine& joining, const QString& key) {
    const QString code = QStringLiteral("7K2MXQ");
    const QByteArray salt = SyncPairing::makeSalt();
    test::finish(offering.pairing.open(salt));
    typeCode(joining, code);
    std::optional<QByteArray> publicKey;
    if (!test::eventually(
            [&] { return (publicKey = test::finish(offering.pairing.fetchAnswer(code, salt))).has_value(); }))
      throw std::runtime_error("no answer to the pairing");
    test::finish(offering.pairing.handOver(key, *publicKey, code));
  }

  SystemClock clock;
  test::ManualClock manual;
  test::HeldSleeps sleeps;
  test::FakeService service;
  test::FakeServiceSync sync{service};
  test::LogCapture log;
};

TEST_F(SyncCoordinatorTest, TurningOnAgainstAnEmptyServiceMakesAKeyPushesAndPolls) {
  const auto a = machine();
  a->coordinator.turnOn();
  EXPECT_EQ(a->state(), SyncState::starting());
  ASSERT_TRUE(reaches(*a, SyncState::on()));
  ASSERT_TRUE(a->syncKey());
  EXPECT_EQ(a->syncKey()->size(), 20);
  EXPECT_EQ(sync.copy(kAccount)->version, 1);
  EXPECT_TRUE(a->coordinator.isPolling());
  EXPECT_TRUE(log.contains(QStringLiteral("sync started on this computer")));
}

TEST_F(SyncCoordinatorTest, ACopyOnTheServiceAsksForACode) {
  const auto a = machine();
  turnOnFromScratch(*a);
  const auto b = machine();
  b->coordinator.turnOn();
  ASSERT_TRUE(reaches(*b, SyncState::enterCode()));
  EXPECT_EQ(b->syncKey(), std::nullopt);
}

TEST_F(SyncCoordinatorTest, AnOfferAndAJoinBringTheSecondComputerIn) {
  const auto a = machine();
  const QString key = turnOnFromScratch(*a);
  const S3Credentials keys{QStringLiteral("AKIA1"), QStringLiteral("secret")};
  const UploaderConfig added = a->addS3(QStringLiteral("photos"), keys);
  test::finish(a->syncService.push(key));

  const auto b = machine();
  offerFrom(*a);
  const QString code = shownCode(*a);
  typeCode(*b, code.left(3).toLower() + QLatin1Char('-') + code.mid(3).toLower());
  EXPECT_EQ(b->state(), SyncState::joining());
  ASSERT_TRUE(reaches(*b, SyncState::on()));
  ASSERT_TRUE(reaches(*a, SyncState::on()));

  EXPECT_EQ(b->syncKey(), key);
  EXPECT_EQ(b->names(), QStringList{QStringLiteral("photos")});
  EXPECT_EQ(S3Credentials::load(b->keychain, added.id), keys);
  EXPECT_TRUE(b->coordinator.isPolling());
  EXPECT_FALSE(b->defaults.contains(kPendingCode));
  EXPECT_TRUE(test::eventually([&] { return !a->coordinator.hasFlow() && !b->coordinator.hasFlow(); }));
}

TEST_F(SyncCoordinatorTest, AWrongCodeFailsBothSides) {
  const auto a = machine();
  turnOnFromScratch(*a);
  const auto b = machine();
  offerFrom(*a);
  const QString code = shownCode(*a);
  typeCode(*b, code.front() == QLatin1Char('0') ? QStringLiteral("1") + code.mid(1)
                                                : QStringLiteral("0") + code.mid(1));
  ASSERT_TRUE(reaches(*a, SyncState::failed(Failure::mismatch, true)));
  EXPECT_EQ(service.count("DELETE", kPairings), 1);
  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::mismatch, false))) << "the pairing is gone";
  EXPECT_EQ(b->syncKey(), std::nullopt);
}

TEST_F(SyncCoordinatorTest, AJoinWhoseKeyDoesNotOpenTheCopyReplacesItWithThisComputers) {
  const auto a = machine();
  turnOnFromScratch(*a);
  const auto b = machine();
  b->addS3(QStringLiteral("mine"));
  const QString otherKey = QStringLiteral("ZZZZZZZZZZZZZZZZZZZZ");
  handOver(*a, *b, otherKey);

  ASSERT_TRUE(reaches(*b, SyncState::on()));
  EXPECT_EQ(b->syncKey(), otherKey);
  const SyncPayload stored =
      SyncStore::open(QByteArray::fromBase64(sync.copy(kAccount)->blob.toLatin1()), otherKey);
  ASSERT_EQ(stored.uploaders.size(), 1);
  EXPECT_EQ(stored.uploaders.first().config.name, QStringLiteral("mine"));
  EXPECT_TRUE(log.contains(QStringLiteral("replacing it with this computer's connections")));
}

TEST_F(SyncCoordinatorTest, AJoinWhoseKeyOpensACopyItCannotReadLeavesTheCopyAlone) {
  const auto a = machine();
  const QString key = turnOnFromScratch(*a);
  const QByteArray unreadable =
      test::sealByHand(R"({"uploaders":{"a":1}})", key, 1000, QByteArray(16, '\x01'), QByteArray(12, '\x02'));
  sync.setCopy(kAccount, QString::fromLatin1(unreadable.toBase64()), 7);
  const auto b = machine();
  b->addS3(QStringLiteral("mine"));
  handOver(*a, *b, key);

  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::refused, false)));
  EXPECT_EQ(sync.copy(kAccount)->version, 7);
  EXPECT_EQ(sync.copy(kAccount)->blob, QString::fromLatin1(unreadable.toBase64()));
  EXPECT_FALSE(log.contains(QStringLiteral("replacing it with this computer's connections")));
}

TEST_F(SyncCoordinatorTest, AJoinThatReceivesNoKeyExpires) {
  const QString claims = QStringLiteral("sync/pairings/claim");
  const auto b = heldMachine();
  test::finish(b->pairing.open(SyncPairing::makeSalt()));
  typeCode(*b, QStringLiteral("7K2MXQ"));
  ASSERT_TRUE(test::eventually([&] { return sleeps.waiting() == 1; }));
  EXPECT_EQ(service.count("POST", claims), 0) << "the first claim comes a poll after the answer";

  sleeps.releaseOne();
  ASSERT_TRUE(test::eventually([&] { return service.count("POST", claims) == 1 && sleeps.waiting() == 1; }));
  EXPECT_EQ(b->state(), SyncState::joining());
  manual.advance(test::SyncMachine::fastTimings().pairingDeadline);
  sleeps.releaseOne();
  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::expired, false)));
  EXPECT_EQ(service.count("POST", claims), 2);
}

TEST_F(SyncCoordinatorTest, ACodeTypedWithoutAnOpenPairing) {
  const auto b = machine();
  typeCode(*b, QStringLiteral("7K2MXQ"));
  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::noPairing, false)));
}

TEST_F(SyncCoordinatorTest, APendingCodeOfAnotherLengthIsDroppedSilently) {
  const auto b = machine();
  typeCode(*b, QStringLiteral("7k-2mx"));
  EXPECT_FALSE(b->defaults.contains(kPendingCode));
  EXPECT_FALSE(b->coordinator.hasFlow());
  EXPECT_TRUE(b->signals.posted().isEmpty());
  EXPECT_TRUE(service.requests().isEmpty());
}

TEST_F(SyncCoordinatorTest, PullsOnlyWithAKeyWithoutAFlowAndOneAtATime) {
  const auto a = machine();
  a->coordinator.pull();
  EXPECT_FALSE(a->coordinator.isPulling());

  saveSyncKey(a->keychain, QStringLiteral("7K2MXQ9PDRT4VB8N3WHC"));
  a->coordinator.startFlow([]() -> QCoro::Task<> { co_await sleepFor(200ms); });
  a->coordinator.pull();
  EXPECT_FALSE(a->coordinator.isPulling());
  ASSERT_TRUE(test::eventually([&] { return !a->coordinator.hasFlow(); }));

  a->coordinator.pull();
  a->coordinator.pull();
  EXPECT_TRUE(a->coordinator.isPulling());
  ASSERT_TRUE(test::eventually([&] { return !a->coordinator.isPulling(); }));
  EXPECT_EQ(service.count("GET", kCopy), 1);
}

TEST_F(SyncCoordinatorTest, ABurstOfChangesLeadsToOnePush) {
  const auto a = heldMachine();
  turnOnFromScratch(*a);
  service.clearLog();
  for (int change = 0; change < 5; ++change) a->coordinator.schedulePush();
  ASSERT_TRUE(test::eventually([&] { return sleeps.waiting() == 1; })) << "each change restarts the wait";
  EXPECT_EQ(service.count("PUT", kCopy), 0);
  sleeps.releaseOne();
  ASSERT_TRUE(test::eventually([&] { return service.count("PUT", kCopy) == 1; }));
  ASSERT_TRUE(idle(*a));
  EXPECT_EQ(service.count("PUT", kCopy), 1);
}

// At launch the keychain may still be connecting: starting to poll does not wait for the key, and the
// first pull follows once the key has been read.
TEST_F(SyncCoordinatorTest, StartingToPollDoesNotWaitForTheKeychain) {
  QSemaphore keychainAnswers;
  test::SyncMachine a(service, service.createSession(kAccount, true), manual);
  saveSyncKey(a.keychain, QStringLiteral("7K2MXQ9PDRT4VB8N3WHC"));
  a.keychain.readGate = &keychainAnswers;
  QElapsedTimer timer;
  timer.start();
  a.coordinator.startPolling();
  EXPECT_LT(timer.elapsed(), 10'000) << "the key was read on this thread";
  EXPECT_TRUE(a.coordinator.isPolling());
  EXPECT_FALSE(a.coordinator.isPulling());
  keychainAnswers.release(1000);
  ASSERT_TRUE(test::eventually([&] { return service.count("GET", kCopy) == 1; }));
  ASSERT_TRUE(test::eventually([&] { return !a.coordinator.isPulling(); }));
}

TEST_F(SyncCoordinatorTest, NoPushIsScheduledWithinTheQuietTimeAfterAPull) {
  test::SyncMachine a(service, service.createSession(kAccount, true), manual);
  saveSyncKey(a.keychain, QStringLiteral("7K2MXQ9PDRT4VB8N3WHC"));
  a.coordinator.pull();
  ASSERT_TRUE(test::eventually([&] { return !a.coordinator.isPulling(); }));
  const QDateTime applied = a.coordinator.lastApplied();

  manual.set(applied.addMSecs(2900));
  a.coordinator.schedulePush();
  EXPECT_FALSE(a.coordinator.hasPendingPush());

  manual.set(applied.addMSecs(3100));
  a.coordinator.schedulePush();
  EXPECT_TRUE(a.coordinator.hasPendingPush());
  ASSERT_TRUE(test::eventually([&] { return service.count("PUT", kCopy) == 1; }));
}

TEST_F(SyncCoordinatorTest, TurningOffDuringThePushWaitPushesNothing) {
  const auto a = machine();
  turnOnFromScratch(*a);
  service.clearLog();
  a->coordinator.schedulePush();
  a->coordinator.turnOff();
  ASSERT_TRUE(idle(*a));
  EXPECT_EQ(service.count("PUT", kCopy), 0);
  EXPECT_EQ(a->syncKey(), std::nullopt);
  EXPECT_EQ(a->state(), SyncState::off());
  EXPECT_FALSE(a->coordinator.isPolling());
  EXPECT_EQ(service.count("DELETE", kPairings), 1);
  EXPECT_EQ(sync.copy(kAccount)->version, 1) << "the service's copy stays for the other computers";
}

TEST_F(SyncCoordinatorTest, TurningOffStopsAPushPastItsWait) {
  const auto a = heldMachine();
  turnOnFromScratch(*a);
  service.clearLog();
  service.delayNext("GET", kCopy, 5s);
  a->coordinator.schedulePush();
  ASSERT_TRUE(test::eventually([&] { return sleeps.waiting() == 1; }));
  sleeps.releaseOne();
  ASSERT_TRUE(test::eventually([&] { return service.count("GET", kCopy) == 1; })) << "the push is under way";
  a->coordinator.turnOff();
  ASSERT_TRUE(idle(*a));
  EXPECT_EQ(service.count("PUT", kCopy), 0);
  EXPECT_EQ(a->state(), SyncState::off());
}

TEST_F(SyncCoordinatorTest, TurningOffStopsAnOfferPastItsDeadlineFromPublishing) {
  const auto a = heldMachine();
  turnOnFromScratch(*a);
  offerFrom(*a);
  shownCode(*a);
  ASSERT_TRUE(test::eventually([&] { return sleeps.waiting() == 1; }));
  manual.advance(test::SyncMachine::fastTimings().pairingDeadline);
  service.delayNext("DELETE", kPairings, 5s);
  sleeps.releaseOne();
  ASSERT_TRUE(test::eventually([&] { return service.count("DELETE", kPairings) == 1; }))
      << "the expired offer is closing its pairing";
  a->coordinator.turnOff();
  EXPECT_EQ(a->state(), SyncState::off());
  ASSERT_TRUE(idle(*a));
  EXPECT_EQ(a->state(), SyncState::off()) << "nothing is published after turning off";
}

TEST_F(SyncCoordinatorTest, TurningOnAgainWithTheStoredKeyPollsAgain) {
  const auto a = machine();
  const QString key = turnOnFromScratch(*a);
  a->coordinator.turnOff();
  EXPECT_FALSE(a->coordinator.isPolling());
  saveSyncKey(a->keychain, key);
  a->coordinator.turnOn();
  ASSERT_TRUE(reaches(*a, SyncState::on()));
  EXPECT_TRUE(a->coordinator.isPolling());

  a->coordinator.turnOff();
  saveSyncKey(a->keychain, key);
  a->coordinator.cancelPairing();
  EXPECT_EQ(a->state(), SyncState::on());
  EXPECT_TRUE(a->coordinator.isPolling()) << "every way to \"on\" polls";
}

TEST_F(SyncCoordinatorTest, CancellingAJoinWithoutKeyIsOffAndSendsNoDelete) {
  const auto a = machine();
  test::finish(a->pairing.open(SyncPairing::makeSalt()));
  const auto b = machine();
  typeCode(*b, QStringLiteral("7K2MXQ"));
  ASSERT_TRUE(test::eventually([&] { return service.count("PUT", kPairings) == 1; }));
  b->coordinator.cancelPairing();
  EXPECT_EQ(b->state(), SyncState::off());
  ASSERT_TRUE(idle(*b));
  EXPECT_EQ(b->state(), SyncState::off()) << "the cancelled flow publishes nothing";
  EXPECT_EQ(service.count("DELETE", kPairings), 0);
}

TEST_F(SyncCoordinatorTest, CancellingAnOfferIsOnAndDeletesThePairing) {
  const auto a = machine();
  turnOnFromScratch(*a);
  offerFrom(*a);
  shownCode(*a);
  a->coordinator.cancelPairing();
  EXPECT_EQ(a->state(), SyncState::on());
  ASSERT_TRUE(test::eventually([&] { return service.count("DELETE", kPairings) == 1; }));
  EXPECT_EQ(sync.pairing(kAccount), std::nullopt);
}

TEST_F(SyncCoordinatorTest, AStoredKeyTheCopyRejectsIsDeleted) {
  const auto a = machine();
  turnOnFromScratch(*a);
  const auto b = machine();
  saveSyncKey(b->keychain, QStringLiteral("ZZZZZZZZZZZZZZZZZZZZ"));
  b->coordinator.turnOn();
  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::mismatch, false)));
  EXPECT_EQ(b->syncKey(), std::nullopt);
}

TEST_F(SyncCoordinatorTest, AWrongKeyInThePolledPullStopsTheTimer) {
  const auto a = machine();
  turnOnFromScratch(*a);
  const auto b = machine();
  saveSyncKey(b->keychain, QStringLiteral("ZZZZZZZZZZZZZZZZZZZZ"));
  b->coordinator.startPolling();
  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::keyMismatch, true)));
  EXPECT_FALSE(b->coordinator.isPolling());
  EXPECT_TRUE(b->syncKey()) << "the key stays: sync is still on";
  EXPECT_TRUE(log.contains(QStringLiteral("this computer's sync key does not open the stored connections")));
}

// While this computer's key does not open the service's copy, the copy is the other computers' settings:
// neither a push that was waiting when the mismatch came to light, nor a change made after it, nor a push
// before any pull found it, stores anything over it.
TEST_F(SyncCoordinatorTest, AComputerWhoseKeyDoesNotOpenTheCopyStoresNothingOverIt) {
  const auto a = machine();
  const QString key = turnOnFromScratch(*a);
  a->addS3(QStringLiteral("theirs"));
  test::finish(a->syncService.push(key));
  const dev::SyncRecords::Copy copy = *sync.copy(kAccount);
  const QString otherKey = QStringLiteral("ZZZZZZZZZZZZZZZZZZZZ");

  for (const bool pulledFirst : {true, false}) {
    SCOPED_TRACE(pulledFirst ? "a push waiting when a pull finds the mismatch" : "a push before any pull");
    const auto b = heldMachine();
    saveSyncKey(b->keychain, otherKey);
    b->addS3(QStringLiteral("mine"));
    b->coordinator.schedulePush();
    ASSERT_TRUE(test::eventually([&] { return sleeps.waiting() == 1; }));
    if (pulledFirst) {
      b->coordinator.pull();
      ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::keyMismatch, true)));
    }
    sleeps.releaseOne();
    ASSERT_TRUE(idle(*b));
    EXPECT_EQ(b->state(), SyncState::failed(Failure::keyMismatch, true));

    manual.advance(1min);
    b->coordinator.schedulePush();
    EXPECT_FALSE(b->coordinator.hasPendingPush()) << "a change made while the key does not open the copy";
    ASSERT_TRUE(idle(*b));
    EXPECT_EQ(sync.copy(kAccount)->version, copy.version);
    EXPECT_EQ(sync.copy(kAccount)->blob, copy.blob);
    EXPECT_EQ(b->syncKey(), otherKey) << "sync stays on with the key";
  }
  a->coordinator.pull();
  ASSERT_TRUE(test::eventually([&] { return !a->coordinator.isPulling(); }));
  EXPECT_EQ(a->state(), SyncState::on());
  EXPECT_EQ(a->names(), QStringList{QStringLiteral("theirs")});
}

TEST_F(SyncCoordinatorTest, AKeyThatOpensTheCopyAgainPushesAgain) {
  const auto a = machine();
  const QString key = turnOnFromScratch(*a);
  const auto b = heldMachine();
  saveSyncKey(b->keychain, QStringLiteral("ZZZZZZZZZZZZZZZZZZZZ"));
  b->coordinator.pull();
  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::keyMismatch, true)));

  saveSyncKey(b->keychain, key);  // typed from the recovery kit
  b->coordinator.turnOn();
  ASSERT_TRUE(reaches(*b, SyncState::on()));
  ASSERT_TRUE(test::eventually([&] { return !b->coordinator.hasFlow(); }));
  b->addS3(QStringLiteral("mine"));
  manual.advance(1min);
  b->coordinator.schedulePush();
  ASSERT_TRUE(test::eventually([&] { return sleeps.waiting() == 1; }));
  sleeps.releaseOne();
  ASSERT_TRUE(test::eventually([&] { return sync.copy(kAccount)->version == 2; }));
  a->coordinator.pull();
  ASSERT_TRUE(test::eventually([&] { return a->names() == QStringList{QStringLiteral("mine")}; }));
}

// A computer whose key does not open the service's copy hands that key to nobody: the joiner would replace
// the copy with its own settings under it, and every other computer would lose its connections from the
// service and fall into the same mismatch. Whether the mismatch is on record, not yet found since the
// agent started, or comes about while the code is shown, the other computers keep their copy.
TEST_F(SyncCoordinatorTest, AComputerWhoseKeyDoesNotOpenTheCopyLetsNobodyIn) {
  enum class Found { byAPullBefore, notYet, whileTheCodeIsShown };
  const struct {
    const char* account;
    Found found;
    bool codeShown;
  } cases[] = {
      {"pulled@example.com", Found::byAPullBefore, false},
      {"restarted@example.com", Found::notYet, false},
      {"moved@example.com", Found::whileTheCodeIsShown, true},
  };
  const QString theirKey = QStringLiteral("AAAAAAAAAAAAAAAAAAAA");
  const QString ownKey = QStringLiteral("BBBBBBBBBBBBBBBBBBBB");
  const SyncState mismatch = SyncState::failed(Failure::keyMismatch, true);
  for (const auto& row : cases) {
    const QString account = QString::fromLatin1(row.account);
    SCOPED_TRACE(row.account);
    const auto computer = [&] {
      return std::make_unique<test::SyncMachine>(service, service.createSession(account, true), clock);
    };
    const auto a = computer();
    saveSyncKey(a->keychain, theirKey);
    a->addS3(QStringLiteral("theirs"));
    const auto b = computer();
    saveSyncKey(b->keychain, ownKey);
    b->addS3(QStringLiteral("mine"));
    const auto c = computer();

    test::finish(row.found == Found::whileTheCodeIsShown ? b->syncService.push(ownKey)
                                                         : a->syncService.replace(theirKey));
    if (row.found == Found::byAPullBefore) {
      b->coordinator.pull();
      ASSERT_TRUE(reaches(*b, mismatch));
      // The settings window came to the front: the agent says "on" for any computer with a key.
      SyncState::on().save(b->defaults, b->signals);
    }
    service.clearLog();
    offerFrom(*b);
    ASSERT_TRUE(test::eventually(
        [&] { return b->state().kind() == SyncState::Case::offering || b->state() == mismatch; }));
    if (b->state().kind() == SyncState::Case::offering) {
      if (row.found == Found::whileTheCodeIsShown) test::finish(a->syncService.replace(theirKey));
      typeCode(*c, b->state().code());
    }
    ASSERT_TRUE(idle(*b));
    ASSERT_TRUE(idle(*c));

    EXPECT_EQ(b->state(), mismatch);
    EXPECT_EQ(service.count("POST", kPairings), row.codeShown ? 1 : 0) << "pairings opened";
    EXPECT_EQ(sync.pairing(account), std::nullopt);
    EXPECT_EQ(c->syncKey(), std::nullopt) << "the key was handed over";
    a->coordinator.pull();
    ASSERT_TRUE(test::eventually([&] { return !a->coordinator.isPulling(); }));
    EXPECT_NE(a->state(), mismatch) << "the other computer fell into the mismatch";
    const std::optional<QByteArray> json =
        test::openByHand(QByteArray::fromBase64(sync.copy(account)->blob.toLatin1()), theirKey);
    ASSERT_TRUE(json) << "the copy is no longer under the other computers' key";
    const std::optional<SyncPayload> copy = SyncPayload::fromJson(*json);
    ASSERT_TRUE(copy && copy->uploaders.size() == 1);
    EXPECT_EQ(copy->uploaders.first().config.name, QStringLiteral("theirs"));
  }
}

// A push made while the code is shown finds the copy moved to another key: the offer does not wait out its
// time showing a code it will not honour, but closes the pairing at once.
TEST_F(SyncCoordinatorTest, AMismatchFoundWhileTheCodeIsShownWithdrawsTheOffer) {
  const auto b = heldMachine();
  const QString key = QStringLiteral("BBBBBBBBBBBBBBBBBBBB");
  saveSyncKey(b->keychain, key);
  test::finish(b->syncService.push(key));
  offerFrom(*b);
  shownCode(*b);
  ASSERT_TRUE(test::eventually([&] { return sleeps.waiting() == 1; }));

  const auto a = machine();
  saveSyncKey(a->keychain, QStringLiteral("AAAAAAAAAAAAAAAAAAAA"));
  test::finish(a->syncService.replace(*a->syncKey()));
  b->coordinator.schedulePush();
  ASSERT_TRUE(test::eventually([&] { return sleeps.waiting() == 2; }));
  sleeps.releaseOne();  // the offer's poll: nobody has answered yet
  ASSERT_TRUE(test::eventually([&] { return sleeps.waiting() == 2; }));
  sleeps.releaseOne();  // the push
  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::keyMismatch, true)));
  sleeps.releaseOne();
  ASSERT_TRUE(idle(*b));
  EXPECT_EQ(b->state(), SyncState::failed(Failure::keyMismatch, true));
  EXPECT_EQ(service.count("DELETE", kPairings), 1);
  EXPECT_EQ(sync.pairing(kAccount), std::nullopt);
}

// The twin: once this computer's key opens the copy again, its offer lets the other computer in as ever.
TEST_F(SyncCoordinatorTest, AnOfferWorksAgainOnceThePullOpensTheCopy) {
  const auto a = machine();
  const QString key = turnOnFromScratch(*a);
  a->addS3(QStringLiteral("theirs"));
  test::finish(a->syncService.push(key));
  const auto b = machine();
  saveSyncKey(b->keychain, QStringLiteral("ZZZZZZZZZZZZZZZZZZZZ"));
  b->coordinator.pull();
  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::keyMismatch, true)));

  saveSyncKey(b->keychain, key);
  b->coordinator.pull();
  ASSERT_TRUE(test::eventually([&] { return !b->coordinator.isPulling(); }));
  const auto c = machine();
  offerFrom(*b);
  typeCode(*c, shownCode(*b));
  ASSERT_TRUE(reaches(*c, SyncState::on()));
  ASSERT_TRUE(reaches(*b, SyncState::on()));
  EXPECT_EQ(c->syncKey(), key);
  EXPECT_EQ(c->names(), QStringList{QStringLiteral("theirs")});
}

TEST_F(SyncCoordinatorTest, AnUnreachableServiceIsANetworkFailure) {
  const auto a = machine(test::SyncMachine::fastTimings(), true);
  a->coordinator.turnOn();
  ASSERT_TRUE(reaches(*a, SyncState::failed(Failure::network, false)));

  saveSyncKey(a->keychain, QStringLiteral("7K2MXQ9PDRT4VB8N3WHC"));
  a->coordinator.turnOn();
  ASSERT_TRUE(reaches(*a, SyncState::failed(Failure::network, true)));
  EXPECT_TRUE(a->syncKey()) << "a key that may be right is kept";
}

TEST_F(SyncCoordinatorTest, ARefusedResumeKeepsTheKey) {
  const auto a = machine();
  saveSyncKey(a->keychain, QStringLiteral("7K2MXQ9PDRT4VB8N3WHC"));
  service.script("GET", kCopy, Reply::error(500, QStringLiteral("INTERNAL"), QStringLiteral("Try later.")));
  a->coordinator.turnOn();
  ASSERT_TRUE(reaches(*a, SyncState::failed(Failure::refused, true)));
  EXPECT_TRUE(a->syncKey());
}

TEST_F(SyncCoordinatorTest, AKeychainThatRefusesTheKeyPushesNothing) {
  const auto a = machine();
  a->keychain.refusedService = kSyncService;
  a->coordinator.turnOn();
  ASSERT_TRUE(reaches(*a, SyncState::failed(Failure::refused, false)));
  EXPECT_EQ(service.count("PUT", kCopy), 0);
  EXPECT_FALSE(a->coordinator.isPolling());
}

TEST_F(SyncCoordinatorTest, AJoinerWhoseKeyRefusesTheKeychainIsRefused) {
  const auto a = machine();
  turnOnFromScratch(*a);
  const auto b = machine();
  b->keychain.refusedService = kSyncService;
  offerFrom(*a);
  typeCode(*b, shownCode(*a));
  ASSERT_TRUE(reaches(*b, SyncState::failed(Failure::refused, false)));
  EXPECT_FALSE(b->coordinator.isPolling());
}

}  // namespace
}  // namespace pm
