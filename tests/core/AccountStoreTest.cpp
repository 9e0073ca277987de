#include <QJsonObject>
#include <QSet>

#include <QCoroSignal>
#include <QCoroTask>

#include <gtest/gtest.h>

#include <ostream>

#include "core/AccountState.h"
#include "core/AccountStore.h"
#include "core/UploadError.h"
#include "platform/Log.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "support/LogCapture.h"
#include "support/ServiceHarness.h"
#include "support/TestSupport.h"

namespace pm {

static void PrintTo(const AccountState& state, std::ostream* out) { *out << state.toJson().constData(); }

namespace {

using namespace std::chrono_literals;
using test::FakeService;
using Reply = FakeService::Reply;
using Approval = FakeService::Approval;

const QString kCode = QStringLiteral("auth/device/code");
const QString kToken = QStringLiteral("auth/device/token");
const QString kSession = QStringLiteral("auth/get-session");
const QString kEmail = QStringLiteral("ada@example.com");

AccountState signedIn(const QString& email, bool subscribed) { return AccountState::signedIn(email, subscribed); }
AccountState failed(AccountState::Failure failure) { return AccountState::failed(failure); }

// A suite that remembers every account state stored in it, in order.
class RecordingDefaults final : public SharedDefaults {
 public:
  QVariant object(const QString& key) const override { return inner_.object(key); }
  bool set(const QString& key, const QVariant& value) override {
    if (key == QLatin1String(names::key::kAccountState))
      states.append(AccountState::fromJson(value.toByteArray()).value_or(AccountState::signedOut()));
    return inner_.set(key, value);
  }
  QVariant update(const QString& key, const Change& change, bool* ok) override {
    return inner_.update(key, change, ok);
  }

  QList<AccountState> states;

 private:
  MemorySharedDefaults inner_;
};

// Pauses between polls that move a manual clock instead of waiting, and that a test can hold shut.
class PollTimer {
 public:
  AccountStore::Timing timing() {
    AccountStore::Timing timing;
    timing.sleep = [this](std::chrono::milliseconds duration, CancelTokenPtr cancel) {
      return pause(duration, std::move(cancel));
    };
    return timing;
  }

  void hold() { open_ = false; }
  void release() {
    open_ = true;
    Q_EMIT opened_.woke();
  }

  test::ManualClock clock;
  QList<std::chrono::milliseconds> pauses;

 private:
  QCoro::Task<bool> pause(std::chrono::milliseconds duration, CancelTokenPtr cancel) {
    pauses.append(duration);
    clock.advance(duration);
    if (!open_) {
      Waker waker;
      QObject::connect(&opened_, &Waker::woke, &waker, &Waker::woke);
      QObject::connect(cancel.get(), &CancelToken::cancelled, &waker, &Waker::woke);
      co_await qCoro(&waker, &Waker::woke);
    }
    co_return co_await sleepFor(1ms, cancel);
  }

  bool open_ = true;
  Waker opened_;
};

QCoro::Task<> openSignIn(AccountStore& store, std::optional<QUrl>& opened) { opened = co_await store.signIn(); }

struct AccountStoreTest : ::testing::Test {
  // The published states, a waiting one without its code (the code test looks at codes).
  QList<AccountState> states() const {
    QList<AccountState> published = defaults.states;
    for (AccountState& state : published) {
      if (state.kind() == AccountState::Case::waiting) state = AccountState::waiting();
    }
    return published;
  }
  bool waitForStates(qsizetype count) {
    return test::runUntil([&] { return defaults.states.size() >= count; });
  }
  int polls() const { return harness.service.count("POST", kToken); }
  void publish(const AccountState& state) {
    state.save(defaults, signals);
    defaults.states.clear();
  }

  test::ServiceHarness harness;
  RecordingDefaults defaults;
  LocalSignals signals;
  PollTimer timer;
  test::LogCapture log;
  AccountStore store{harness.api, harness.keychain, defaults, signals, timer.clock, timer.timing()};
};

// ---- sign-in --------------------------------------------------------------------------------------------

TEST_F(AccountStoreTest, ASignInWaitsThenStoresTheTokenAndPublishesTheAccount) {
  harness.service.script("POST", kToken, Reply::error(400, QStringLiteral("authorization_pending")));
  harness.service.script("POST", kToken, Reply::error(400, QStringLiteral("authorization_pending")));
  harness.service.setApproval(Approval::approved, kEmail, true);

  const auto url = test::wait(store.signIn());
  ASSERT_TRUE(url);
  EXPECT_EQ(url->path(), QStringLiteral("/device"));
  EXPECT_TRUE(url->query().startsWith(QLatin1String("user_code=")));
  EXPECT_EQ(states(), QList{AccountState::waiting()});
  // The settings window shows the code and where to enter it, for a browser that did not open.
  const AccountState::SignInCode code = defaults.states.first().signInCode();
  EXPECT_EQ(code.userCode, QStringLiteral("WDJB-0001"));
  EXPECT_EQ(QUrl(code.verificationUri).path(), QStringLiteral("/device"));
  EXPECT_EQ(QUrl(code.verificationUriComplete), *url);

  ASSERT_TRUE(waitForStates(2));
  EXPECT_EQ(states(), (QList{AccountState::waiting(), signedIn(kEmail, true)}));
  EXPECT_EQ(harness.storedToken(), harness.service.lastIssuedToken());
  EXPECT_EQ(polls(), 3);
  EXPECT_EQ(timer.pauses, (QList<std::chrono::milliseconds>{5s, 5s, 5s})) << "the first poll waits one pause";
  EXPECT_EQ(signals.posted().count(QStringLiteral("com.wrenfold.Parcelmoor.accountChanged")), 2);
  EXPECT_TRUE(log.contains(QStringLiteral("signed in")));
}

TEST_F(AccountStoreTest, AnApprovalTheKeychainDoesNotTakeIsAFailureNotASignIn) {
  harness.service.setApproval(Approval::approved, kEmail, true);
  harness.keychain.setFailing(true);
  test::wait(store.signIn());
  ASSERT_TRUE(waitForStates(2));
  test::spin(20ms);
  EXPECT_EQ(states(), (QList{AccountState::waiting(), failed(AccountState::Failure::keychain)}));
  EXPECT_TRUE(log.contains(QStringLiteral(
      "The keychain did not accept your sign-in: is a keyring (Secret Service) running and unlocked?")));
  EXPECT_FALSE(log.contains(QStringLiteral("signed in")));

  harness.keychain.setFailing(false);
  EXPECT_FALSE(harness.storedToken());
}

TEST_F(AccountStoreTest, SlowDownLengthensEveryLaterPause) {
  harness.service.script("POST", kToken, Reply::error(400, QStringLiteral("slow_down")));
  harness.service.script("POST", kToken, Reply::error(400, QStringLiteral("authorization_pending")));
  harness.service.setApproval(Approval::approved);
  test::wait(store.signIn());
  ASSERT_TRUE(waitForStates(2));
  EXPECT_EQ(timer.pauses, (QList<std::chrono::milliseconds>{5s, 10s, 10s}));
}

TEST_F(AccountStoreTest, PollsComeNoFasterThanTheFloor) {
  for (const qint64 interval : {0, -3}) {
    SCOPED_TRACE(interval);
    timer.pauses.clear();
    defaults.states.clear();
    harness.service.setCodeTiming(900, interval);
    harness.service.setApproval(Approval::approved);
    test::wait(store.signIn());
    ASSERT_TRUE(waitForStates(2));
    EXPECT_EQ(timer.pauses, QList<std::chrono::milliseconds>{1s});
  }
}

TEST_F(AccountStoreTest, FinalPollAnswers) {
  const struct {
    Approval approval;
    AccountState outcome;
  } table[] = {{Approval::denied, failed(AccountState::Failure::denied)},
               {Approval::expired, failed(AccountState::Failure::expired)}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.outcome.toJson().constData());
    defaults.states.clear();
    harness.service.clearLog();
    harness.service.setApproval(row.approval);
    test::wait(store.signIn());
    ASSERT_TRUE(waitForStates(2));
    test::spin(20ms);
    EXPECT_EQ(states(), (QList{AccountState::waiting(), row.outcome}));
    EXPECT_EQ(polls(), 1);
    EXPECT_FALSE(harness.storedToken());
  }
}

TEST_F(AccountStoreTest, TheDeadlineEndsTheSignIn) {
  const struct {
    qint64 expiresIn;
    int polls;
  } table[] = {{12, 3}, {0, 0}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.expiresIn);
    defaults.states.clear();
    harness.service.clearLog();
    log.clear();
    harness.service.setCodeTiming(row.expiresIn, 5);
    test::wait(store.signIn());
    ASSERT_TRUE(waitForStates(2));
    EXPECT_EQ(states(), (QList{AccountState::waiting(), failed(AccountState::Failure::expired)}));
    EXPECT_EQ(polls(), row.polls);
    EXPECT_TRUE(log.contains(QStringLiteral("sign-in expired without approval")));
  }
}

TEST_F(AccountStoreTest, AFailedPollIsLoggedAndPollingGoesOn) {
  harness.service.script("POST", kToken, Reply::raw(502, "<html>Bad gateway</html>", "text/html"));
  harness.service.setApproval(Approval::approved);
  test::wait(store.signIn());
  ASSERT_TRUE(waitForStates(2));
  EXPECT_EQ(states().last(), signedIn(kEmail, true));
  EXPECT_EQ(polls(), 2);
  EXPECT_TRUE(log.contains(QStringLiteral("poll failed: ")));
}

TEST_F(AccountStoreTest, ApprovalSurvivesAFailedSessionLookup) {
  harness.service.setApproval(Approval::approved, kEmail, true);
  harness.service.script("GET", kSession, Reply::raw(500, ""));
  test::wait(store.signIn());
  ASSERT_TRUE(waitForStates(2));
  EXPECT_EQ(states().last(), signedIn(QString(), true));
  EXPECT_EQ(harness.storedToken(), harness.service.lastIssuedToken());
}

TEST_F(AccountStoreTest, AFailedCodeRequestPublishesANetworkFailure) {
  harness.service.script("POST", kCode, Reply::raw(503, ""));
  EXPECT_EQ(test::wait(store.signIn()), std::nullopt);
  test::spin(20ms);
  EXPECT_EQ(states(), QList{failed(AccountState::Failure::network)});
  EXPECT_EQ(polls(), 0);
}

TEST_F(AccountStoreTest, ASecondSignInWhileTheFirstStartsDoesNothing) {
  harness.service.delayNext("POST", kCode, 200ms);
  auto first = store.signIn();
  EXPECT_EQ(test::wait(store.signIn()), std::nullopt);
  EXPECT_TRUE(log.contains(QStringLiteral("sign-in already starting")));
  EXPECT_TRUE(test::wait(std::move(first)));
  EXPECT_EQ(harness.service.count("POST", kCode), 1);
}

TEST_F(AccountStoreTest, ACancelDuringTheCodeRequestDropsTheCode) {
  timer.hold();
  harness.service.delayNext("POST", kCode, 300ms);
  auto cancelled = store.signIn();
  ASSERT_TRUE(test::runUntil([&] { return harness.service.count("POST", kCode) == 1; }));
  store.cancelSignIn();
  EXPECT_EQ(states(), QList{AccountState::signedOut()});
  EXPECT_TRUE(log.contains(QStringLiteral("sign-in cancelled")));

  // A new sign-in started meanwhile is the one that goes on; the late code never polls.
  harness.service.setApproval(Approval::approved);
  EXPECT_TRUE(test::wait(store.signIn()));
  EXPECT_EQ(test::wait(std::move(cancelled)), std::nullopt);
  timer.release();
  ASSERT_TRUE(waitForStates(3));
  test::spin(30ms);
  EXPECT_EQ(states(), (QList{AccountState::signedOut(), AccountState::waiting(), signedIn(kEmail, true)}));
  QSet<QString> polledCodes;
  for (const auto& poll : harness.service.requests("POST", kToken))
    polledCodes.insert(poll.json().value(QStringLiteral("device_code")).toString());
  EXPECT_EQ(polledCodes.size(), 1);
}

TEST_F(AccountStoreTest, CancelWithoutASignInPublishesNothing) {
  store.cancelSignIn();
  EXPECT_TRUE(states().isEmpty());
}

TEST_F(AccountStoreTest, CancelDuringThePollStopsIt) {
  test::wait(store.signIn());
  ASSERT_TRUE(test::runUntil([&] { return polls() >= 2; }));
  store.cancelSignIn();
  const int pollsAtCancel = polls();
  EXPECT_TRUE(waitForStates(2));
  test::spin(50ms);  // a poll that would go on shows by now
  EXPECT_EQ(states(), (QList{AccountState::waiting(), AccountState::signedOut()}));
  EXPECT_LE(polls(), pollsAtCancel + 1) << "at most the poll already under way";
}

TEST_F(AccountStoreTest, ALocalSignOutDuringThePollForgetsEverything) {
  harness.signIn();
  test::wait(store.signIn());
  ASSERT_TRUE(test::runUntil([&] { return polls() >= 1; }));
  store.forgetSession();
  harness.service.setApproval(Approval::approved);
  EXPECT_TRUE(waitForStates(2));
  test::spin(50ms);  // an approval the forgotten sign-in would still take shows by now
  EXPECT_EQ(states(), (QList{AccountState::waiting(), AccountState::signedOut()}));
  EXPECT_FALSE(harness.storedToken());
}

// The old poll's answer is held back by the service until the restarted sign-in waits for its own.
TEST_F(AccountStoreTest, ARestartNeverLetsTheOldPollPublish) {
  const struct {
    Approval lateAnswer;
    const char* logged;
  } table[] = {{Approval::approved, "approved; session valid"}, {Approval::denied, "refused in the browser"}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.logged);
    defaults.states.clear();
    harness.service.clearLog();
    harness.keychain.remove(QStringLiteral("com.wrenfold.Parcelmoor"), QStringLiteral("session-token"));
    log.clear();
    timer.release();
    harness.service.setApproval(Approval::pending);
    harness.service.delayNext("POST", kToken, 300ms);

    test::wait(store.signIn());
    ASSERT_TRUE(test::runUntil([&] { return polls() == 1; }));
    timer.hold();
    harness.service.setApproval(row.lateAnswer);
    EXPECT_TRUE(test::wait(store.signIn()));
    EXPECT_TRUE(log.contains(QStringLiteral("sign-in restarted with a fresh code")));

    ASSERT_TRUE(test::runUntil([&] { return log.contains(QString::fromLatin1(row.logged)); }));
    test::spin(20ms);
    EXPECT_EQ(states(), (QList{AccountState::waiting(), AccountState::waiting()}));
    EXPECT_FALSE(harness.storedToken());

    // The restarted sign-in still owns the poll: its own answer is published.
    harness.service.setApproval(Approval::approved);
    timer.release();
    ASSERT_TRUE(waitForStates(3));
    EXPECT_EQ(states().last(), signedIn(kEmail, true));
    EXPECT_EQ(harness.storedToken(), harness.service.lastIssuedToken());
  }
}

// ---- refresh --------------------------------------------------------------------------------------------

TEST_F(AccountStoreTest, RefreshWithoutATokenPublishesSignedOut) {
  test::wait(store.refresh());
  EXPECT_EQ(states(), QList{AccountState::signedOut()});
  EXPECT_TRUE(harness.service.requests().isEmpty());
}

// The settings program asks for a refresh whenever it becomes active: just when the user comes back from
// approving the code in the browser.
TEST_F(AccountStoreTest, ARefreshDuringASignInLeavesItWaiting) {
  timer.hold();
  harness.service.setApproval(Approval::approved, kEmail, true);
  test::wait(store.signIn());
  test::wait(store.refresh());
  EXPECT_EQ(states(), QList{AccountState::waiting()});

  timer.release();
  ASSERT_TRUE(waitForStates(2));
  EXPECT_EQ(states(), (QList{AccountState::waiting(), signedIn(kEmail, true)}));
  EXPECT_EQ(harness.storedToken(), harness.service.lastIssuedToken());
}

TEST_F(AccountStoreTest, RefreshShowsTheStoredAccountAtOnceThenTheServicesAnswer) {
  const struct {
    std::optional<AccountState> stored;
    AccountState atOnce;
  } table[] = {{signedIn(kEmail, false), signedIn(kEmail, false)},
               {std::nullopt, signedIn(QString(), false)},
               {AccountState::waiting(), signedIn(QString(), false)}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.atOnce.toJson().constData());
    if (row.stored) publish(*row.stored);
    else defaults.remove(QStringLiteral("accountState"));
    defaults.states.clear();
    harness.signIn(kEmail, true);
    test::wait(store.refresh());
    EXPECT_EQ(states(), (QList{row.atOnce, signedIn(kEmail, true)}));
  }
}

TEST_F(AccountStoreTest, RefreshForgetsASessionTheServiceNoLongerKnows) {
  harness.storeToken(QStringLiteral("stale"));
  test::wait(store.refresh());
  EXPECT_EQ(states(), (QList{signedIn(QString(), false), AccountState::signedOut()}));
  EXPECT_FALSE(harness.storedToken());
  EXPECT_TRUE(log.contains(QStringLiteral("stored session no longer valid")));
}

TEST_F(AccountStoreTest, RefreshKeepsTheStoredAccountWhenTheServiceFails) {
  publish(signedIn(kEmail, true));
  harness.signIn();
  harness.service.script("GET", kSession, Reply::raw(500, ""));
  test::wait(store.refresh());
  EXPECT_EQ(states(), QList{signedIn(kEmail, true)});
  EXPECT_TRUE(log.contains(QStringLiteral("could not reach the service at launch: The service responded with HTTP 500.")));

  // A lookup of the subscription that fails keeps the flag this user had.
  defaults.states.clear();
  harness.service.script("GET", QStringLiteral("me"), Reply::raw(500, ""));
  test::wait(store.refresh());
  EXPECT_EQ(states(), (QList{signedIn(kEmail, true), signedIn(kEmail, true)}));
}

TEST_F(AccountStoreTest, ASecondRefreshWhileOneRunsReturnsAtOnce) {
  harness.signIn();
  harness.service.delayNext("GET", kSession, 200ms);
  auto first = store.refresh();
  ASSERT_TRUE(test::runUntil([&] { return harness.service.count("GET", kSession) == 1; }));
  const qsizetype published = states().size();
  test::wait(store.refresh());
  EXPECT_EQ(states().size(), published);
  test::wait(std::move(first));
  EXPECT_EQ(harness.service.count("GET", kSession), 1);
}

TEST_F(AccountStoreTest, RefreshLeavesASessionStoredMeanwhileAlone) {
  harness.storeToken(QStringLiteral("stale"));
  harness.service.delayNext("GET", kSession, 200ms);
  auto refresh = store.refresh();
  ASSERT_TRUE(test::runUntil([&] { return harness.service.count("GET", kSession) == 1; }));
  const QString fresh = harness.signIn();
  publish(signedIn(kEmail, true));
  test::wait(std::move(refresh));
  EXPECT_EQ(harness.storedToken(), fresh);
  EXPECT_TRUE(states().isEmpty());
}

// ---- reactions to the service client --------------------------------------------------------------------

TEST_F(AccountStoreTest, TwoRefusedRequestsStartOneSessionCheckAndOneSignIn) {
  // The app shell's handler of the sign-in signal.
  QObject shell;
  std::optional<QUrl> opened;
  signals.observeDarwinNotification(QString::fromLatin1(names::signal::kSignIn));
  signals.onNotification(QString::fromLatin1(names::signal::kSignIn), &shell,
                         [&] { detachTask(openSignIn(store, opened), lcAuth(), "sign-in"); });
  timer.hold();
  publish(signedIn(kEmail, true));
  harness.storeToken(QStringLiteral("revoked"));
  harness.service.delayNext("GET", kSession, 200ms);

  auto first = harness.api.authorizedRequest(QStringLiteral("me"), "GET");
  auto second = harness.api.authorizedRequest(QStringLiteral("me"), "GET");
  EXPECT_THROW(test::wait(std::move(first)), UploadError);
  EXPECT_THROW(test::wait(std::move(second)), UploadError);

  ASSERT_TRUE(waitForStates(2));
  EXPECT_EQ(states(), (QList{AccountState::signedOut(), AccountState::waiting()}));
  EXPECT_EQ(harness.service.count("GET", kSession), 1);
  EXPECT_EQ(signals.posted().count(QStringLiteral("com.wrenfold.Parcelmoor.signIn")), 1);
  EXPECT_FALSE(harness.storedToken());
  EXPECT_TRUE(log.contains(QStringLiteral("session refused and confirmed gone; signing in again")));
  ASSERT_TRUE(test::runUntil([&] { return opened.has_value(); }));
  store.cancelSignIn();
}

TEST_F(AccountStoreTest, ASessionCheckThatFindsTheSessionChangesNothing) {
  const QString token = harness.signIn();
  test::wait(store.confirmSessionGone());
  harness.service.script("GET", kSession, Reply::raw(500, ""));
  test::wait(store.confirmSessionGone());
  EXPECT_EQ(harness.storedToken(), token);
  EXPECT_TRUE(states().isEmpty());
  EXPECT_TRUE(signals.posted().isEmpty());
}

TEST_F(AccountStoreTest, ASessionCheckLeavesASessionStoredMeanwhileAlone) {
  harness.storeToken(QStringLiteral("revoked"));
  harness.service.delayNext("GET", kSession, 200ms);
  auto check = store.confirmSessionGone();
  ASSERT_TRUE(test::runUntil([&] { return harness.service.count("GET", kSession) == 1; }));
  const QString fresh = harness.signIn();
  test::wait(std::move(check));
  EXPECT_EQ(harness.storedToken(), fresh);
  EXPECT_TRUE(states().isEmpty());
  EXPECT_TRUE(signals.posted().isEmpty());
}

TEST_F(AccountStoreTest, ASubscriptionDemandPublishesTheNewFlag) {
  publish(signedIn(kEmail, false));
  harness.signIn(kEmail, true);
  harness.service.script("POST", QStringLiteral("boxes"), Reply::error(402, QStringLiteral("SUBSCRIPTION_REQUIRED")));
  EXPECT_THROW(test::wait(harness.api.authorizedRequest(QStringLiteral("boxes"), "POST")), UploadError);
  ASSERT_TRUE(waitForStates(1));
  EXPECT_EQ(states(), QList{signedIn(kEmail, true)});
}

TEST_F(AccountStoreTest, ASubscriptionRecheckPublishesOnlyForTheSameSignedInAccount) {
  harness.signIn(kEmail, true);

  publish(AccountState::waiting());
  test::wait(store.refreshSubscription());
  EXPECT_EQ(harness.service.count("GET", QStringLiteral("me")), 0);

  publish(signedIn(kEmail, true));
  harness.service.script("GET", QStringLiteral("me"), Reply::raw(500, ""));
  test::wait(store.refreshSubscription());
  EXPECT_TRUE(states().isEmpty()) << "a failed lookup keeps the paid flag";

  harness.service.delayNext("GET", QStringLiteral("me"), 200ms);
  auto recheck = store.refreshSubscription();
  ASSERT_TRUE(test::runUntil([&] { return harness.service.count("GET", QStringLiteral("me")) == 2; }));
  publish(signedIn(QStringLiteral("grace@example.com"), false));
  test::wait(std::move(recheck));
  EXPECT_TRUE(states().isEmpty());
}

TEST_F(AccountStoreTest, ServerSignOutEndsTheGivenSession) {
  const QString token = harness.service.createSession(kEmail);
  test::wait(store.signOutOnServer(token));
  EXPECT_FALSE(harness.service.hasSession(token));
  test::wait(store.signOutOnServer(std::nullopt));
  EXPECT_EQ(harness.service.requests().size(), 1);
}

}  // namespace
}  // namespace pm
