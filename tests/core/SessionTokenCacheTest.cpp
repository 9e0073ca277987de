#include <QProcess>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/SessionToken.h"
#include "core/SessionTokenCache.h"
#include "platform/Async.h"
#include "platform/Keychain.h"
#include "platform/Log.h"
#include "platform/SecretServiceChanges.h"
#include "platform/SharedNames.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

const QString kToken = QStringLiteral("token-1");

// The items of a MemoryKeychain, with reads that a test can hold at the door, and the threads that read.
class HeldKeychain final : public Keychain {
 public:
  Lookup find(const QString& service, const QString& account) const override {
    std::unique_lock lock(mutex_);
    readers_.append(QThread::currentThread());
    opened_.wait(lock, [this] { return !held_; });
    lock.unlock();
    return items.find(service, account);
  }
  bool store(const QString& service, const QString& account, const QByteArray& data) override {
    return items.store(service, account, data);
  }
  bool remove(const QString& service, const QString& account) override { return items.remove(service, account); }

  void hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void release() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    opened_.notify_all();
  }
  QList<QThread*> readers() const {
    std::lock_guard lock(mutex_);
    return readers_;
  }

  MemoryKeychain items;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable opened_;
  mutable QList<QThread*> readers_;
  bool held_ = false;
};

class SessionTokenCacheTest : public ::testing::Test {
 protected:
  ~SessionTokenCacheTest() override { keychain.release(); }

  void storeToken(const QString& token) { storeKeychainString(keychain, token, sessionTokenAccount()); }
  qsizetype reads() const { return keychain.readers().size(); }

  HeldKeychain keychain;
  SessionTokenCache cache{keychain};
};

TEST_F(SessionTokenCacheTest, LoadsMeanwhileShareOneReadOffTheCallingThreadAndLaterLoadsReadNothing) {
  storeToken(kToken);
  keychain.hold();
  auto first = cache.load();
  auto second = cache.load();
  ASSERT_TRUE(test::runUntil([&] { return reads() == 1; }));
  keychain.release();
  EXPECT_EQ(test::wait(std::move(first)), kToken);
  EXPECT_EQ(test::wait(std::move(second)), kToken);
  EXPECT_EQ(test::wait(cache.load()), kToken);
  EXPECT_EQ(reads(), 1);
  EXPECT_NE(keychain.readers().first(), QThread::currentThread());
}

TEST_F(SessionTokenCacheTest, AReadAheadServesTheFirstLoad) {
  storeToken(kToken);
  cache.readAhead();
  ASSERT_TRUE(test::runUntil([&] { return reads() == 1; }));
  cache.readAhead();
  EXPECT_EQ(test::wait(cache.load()), kToken);
  EXPECT_EQ(reads(), 1);
}

TEST_F(SessionTokenCacheTest, WhatTheProgramWroteIsTakenAsReadAndAForgottenTokenIsReadAgain) {
  storeToken(QStringLiteral("in the keychain"));
  cache.remember(QStringLiteral("written here"));
  EXPECT_EQ(test::wait(cache.load()), QStringLiteral("written here"));
  cache.remember(std::nullopt);
  EXPECT_EQ(test::wait(cache.load()), std::nullopt);
  EXPECT_EQ(reads(), 0);
  cache.forget();
  EXPECT_EQ(test::wait(cache.load()), QStringLiteral("in the keychain"));
  EXPECT_EQ(reads(), 1);
}

TEST_F(SessionTokenCacheTest, AReadOvertakenByAChangeIsNotKept) {
  storeToken(QStringLiteral("old"));
  keychain.hold();
  auto load = cache.load();
  ASSERT_TRUE(test::runUntil([&] { return reads() == 1; }));
  storeToken(QStringLiteral("new"));
  cache.forget();
  keychain.release();
  EXPECT_EQ(test::wait(std::move(load)), QStringLiteral("new"));
  EXPECT_EQ(test::wait(cache.load()), QStringLiteral("new"));
  EXPECT_EQ(reads(), 2);
}

TEST_F(SessionTokenCacheTest, AKeychainThatDoesNotAnswerIsAskedAgain) {
  storeToken(kToken);
  keychain.items.setFailing(true);
  EXPECT_EQ(test::wait(cache.load()), std::nullopt);
  keychain.items.setFailing(false);
  EXPECT_EQ(test::wait(cache.load()), kToken);
  EXPECT_EQ(test::wait(cache.load()), kToken);
  EXPECT_EQ(reads(), 2);
}

TEST_F(SessionTokenCacheTest, GoingAwayWaitsForTheReadStillRunning) {
  storeToken(kToken);
  keychain.hold();
  auto cacheOfItsOwn = std::make_unique<SessionTokenCache>(keychain);
  cacheOfItsOwn->readAhead();
  ASSERT_TRUE(test::runUntil([&] { return reads() == 1; }));
  // Released from another thread while this one waits in the cache's destructor.
  std::thread releaser([this] {
    QThread::msleep(50);
    keychain.release();
  });
  cacheOfItsOwn.reset();
  releaser.join();
  EXPECT_EQ(reads(), 1);
}

// With the real Secret Service: another program replaces the item, the service announces it, and the next
// load brings the new token.
QCoro::Task<> recordLoad(SessionTokenCache& cache, std::optional<QString>& latest, int& running) {
  ++running;
  latest = co_await cache.load();
  --running;
}

TEST(SessionTokenCacheWithTheSecretService, ATokenAnotherProgramStoresIsUsedAfterwards) {
  SecretServiceKeychain keychain;
  // Tests share one keyring: this one takes an account of its own.
  const QString account = QStringLiteral("session-token-") + QUuid::createUuid().toString(QUuid::Id128);
  ASSERT_TRUE(storeKeychainString(keychain, QStringLiteral("first"), account)) << "no Secret Service answers";
  SessionTokenCache cache(keychain, account);
  EXPECT_EQ(test::wait(cache.load()), QStringLiteral("first"));

  std::optional<QString> latest;
  int running = 0;
  SecretServiceChanges changes;
  QObject::connect(&changes, &SecretServiceChanges::changed, &cache, [&] {
    cache.forget();
    detachTask(recordLoad(cache, latest, running), lcKeychain, "token load");
  });
  QProcess other;
  other.start(QStringLiteral(PM_KEYCHAIN_ITEM_PROGRAM),
              {QStringLiteral("store"), QString::fromLatin1(names::keychain::kSessionService), account,
               QString::fromLatin1(QByteArray("second").toBase64())});
  ASSERT_TRUE(other.waitForFinished(30'000));
  ASSERT_EQ(other.exitCode(), 0);

  EXPECT_TRUE(test::runUntil([&] { return latest == QStringLiteral("second") && running == 0; }));
  EXPECT_EQ(test::wait(cache.load()), QStringLiteral("second"));
  // Every load started ends before what it uses goes.
  ASSERT_TRUE(test::runUntil([&] { return running == 0; }));
  QObject::disconnect(&changes, nullptr, &cache, nullptr);
  deleteKeychainString(keychain, account);
}

}  // namespace
}  // namespace pm
