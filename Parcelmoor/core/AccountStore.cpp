#include "AccountStore.h"

#include <QPointer>

#include <algorithm>
#include <utility>

#include "core/AccountState.h"
#include "core/ParcelmoorAPI.h"
#include "core/SessionToken.h"
#include "core/SessionTokenCache.h"
#include "core/UploadError.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm {

namespace {

QString describe(std::exception_ptr error) { return UploadError::from(error).message(); }

void cancelAndClear(CancelTokenPtr& token) {
  if (const CancelTokenPtr running = std::exchange(token, nullptr)) running->cancel();
}

}  // namespace

AccountStore::AccountStore(ParcelmoorAPI& api, Keychain& keychain, SharedDefaults& defaults, Signals& signals,
                           const Clock& clock, Timing timing, QObject* parent)
    : QObject(parent),
      deviceFlow_(api),
      sessionToken_(api.sessionToken()),
      keychain_(keychain),
      defaults_(defaults),
      signals_(signals),
      clock_(clock),
      timing_(std::move(timing)) {
  connect(&api, &ParcelmoorAPI::sessionRefused, this,
          [this] { detachTask(confirmSessionGone(), lcAuth(), "session check"); });
  connect(&api, &ParcelmoorAPI::subscriptionRequired, this,
          [this] { detachTask(refreshSubscription(), lcAuth(), "subscription check"); });
}

AccountStore::~AccountStore() {
  // Nobody is left to publish for: a running sign-in stops at its next step.
  stopSignIn();
}

void AccountStore::publish(const AccountState& state) { state.save(defaults_, signals_); }

void AccountStore::stopSignIn() {
  cancelAndClear(requesting_);
  cancelAndClear(flow_);
}

void AccountStore::conclude(const CancelTokenPtr& flow, const AccountState& outcome) {
  if (flow->isCancelled() || flow_ != flow) return;
  flow_.reset();
  publish(outcome);
}

QCoro::Task<std::optional<QUrl>> AccountStore::signIn() {
  if (requesting_) {
    qCInfo(lcAuth, "sign-in already starting");
    co_return std::nullopt;
  }
  if (flow_) {
    qCInfo(lcAuth, "sign-in restarted with a fresh code");
    cancelAndClear(flow_);
  }
  const CancelTokenPtr attempt = makeCancelToken();
  requesting_ = attempt;
  const QPointer<AccountStore> self(this);

  std::optional<DeviceFlow::Code> code;
  try {
    code = co_await deviceFlow_.requestCode();
  } catch (...) {
    // The device flow logged a refusal; every failure reads the same to the user.
  }
  // A cancel, a sign-out or a newer sign-in took over while the code was on its way: its state stands.
  if (!self || attempt->isCancelled()) co_return std::nullopt;
  requesting_.reset();
  if (!code) {
    publish(AccountState::failed(AccountState::Failure::network));
    co_return std::nullopt;
  }

  // The settings window shows the code and the address too, so a sign-in whose browser did not open can
  // be finished from any browser.
  publish(AccountState::waiting({code->userCode, code->verificationUri, code->verificationUriComplete}));
  flow_ = attempt;
  detachTask(pollForApproval(*code, attempt), lcAuth(), "sign-in poll");
  co_return absoluteUrl(code->verificationUriComplete);
}

QCoro::Task<> AccountStore::pollForApproval(DeviceFlow::Code code, CancelTokenPtr flow) {
  const QPointer<AccountStore> self(this);
  // Copies, so the loop never reaches into a store that is gone.
  DeviceFlow deviceFlow = deviceFlow_;
  const Sleeper sleep = timing_.sleep;
  const QDateTime deadline = clock_.now().addSecs(code.expiresIn);
  // A day bounds what the service may ask for, so no interval can overflow the pause.
  const std::chrono::seconds interval(std::clamp<qint64>(code.interval, 0, 24 * 60 * 60));
  std::chrono::milliseconds pause = std::max<std::chrono::milliseconds>(interval, timing_.minimumPollPause);
  for (;;) {
    if (flow->isCancelled()) co_return;
    if (clock_.now() >= deadline) break;
    const bool slept = co_await sleep(pause, flow);
    if (!slept || !self) co_return;

    std::optional<DeviceFlow::PollResult> result;
    try {
      result = co_await deviceFlow.poll(code.deviceCode);
    } catch (...) {
      qCWarning(lcAuth, "poll failed: %s", qUtf8Printable(describe(std::current_exception())));
    }
    // An answer that arrives after a cancel or a restart belongs to a sign-in nobody waits for.
    if (!self || flow->isCancelled()) co_return;
    if (!result) continue;

    switch (result->kind()) {
      case DeviceFlow::PollResult::Kind::pending:
        break;
      case DeviceFlow::PollResult::Kind::slowDown:
        pause += timing_.slowDownStep;
        break;
      case DeviceFlow::PollResult::Kind::denied:
        conclude(flow, AccountState::failed(AccountState::Failure::denied));
        co_return;
      case DeviceFlow::PollResult::Kind::expired:
        conclude(flow, AccountState::failed(AccountState::Failure::expired));
        co_return;
      case DeviceFlow::PollResult::Kind::approved:
        co_await finishSignIn(result->accessToken(), flow);
        co_return;
    }
  }
  qCInfo(lcAuth, "sign-in expired without approval");
  conclude(flow, AccountState::failed(AccountState::Failure::expired));
}

QCoro::Task<> AccountStore::finishSignIn(QString token, CancelTokenPtr flow) {
  const QPointer<AccountStore> self(this);
  DeviceFlow deviceFlow = deviceFlow_;
  std::optional<QString> email;
  try {
    email = co_await deviceFlow.session(token);
  } catch (...) {
    // Signed in all the same; the address shows once a refresh gets it.
  }
  const bool subscribed = co_await deviceFlow.isSubscribed(token);
  // The token is kept only together with the state that announces it, so a sign-in that was cancelled
  // or replaced during the lookups leaves nothing behind.
  if (!self || flow->isCancelled() || flow_ != flow) co_return;
  // Read back: a keyring that is locked or gone may take the call and keep nothing.
  // Read here, not through the cache: the state that announces the token must not wait for it.
  const bool stored = storeKeychainString(keychain_, token, sessionTokenAccount());
  const std::optional<QString> kept = loadKeychainString(keychain_, sessionTokenAccount());
  sessionToken_.remember(kept);
  if (!stored || kept != token) {
    // Without the token every later request would ask the user to sign in: this sign-in did not happen.
    qCCritical(lcAuth, "%s", qUtf8Printable(keychainFailureMessage()));
    conclude(flow, AccountState::failed(AccountState::Failure::keychain));
    co_return;
  }
  qCInfo(lcAuth, "signed in");
  conclude(flow, AccountState::signedIn(email.value_or(QString()), subscribed));
}

void AccountStore::cancelSignIn() {
  if (!requesting_ && !flow_) return;
  qCInfo(lcAuth, "sign-in cancelled");
  stopSignIn();
  publish(AccountState::signedOut());
}

QCoro::Task<> AccountStore::refresh() {
  if (refreshing_) co_return;
  refreshing_ = true;
  const QPointer<AccountStore> self(this);
  const std::optional<QString> token = co_await sessionToken_.load();
  if (!self) co_return;
  if (!token) {
    refreshing_ = false;
    // A sign-in that runs has published "waiting" and has no token yet; "signed out" would hide it, and
    // the next click on Sign in would throw the approval away.
    if (!requesting_ && !flow_) publish(AccountState::signedOut());
    co_return;
  }
  const AccountState stored = AccountState::load(defaults_);
  const bool knownUser = stored.kind() == AccountState::Case::signedIn;
  // Signed in at once, before the service has answered: the token is there.
  publish(knownUser ? stored : AccountState::signedIn(QString(), false));

  DeviceFlow deviceFlow = deviceFlow_;
  std::optional<QString> email;
  std::exception_ptr failure;
  try {
    email = co_await deviceFlow.session(*token);
  } catch (...) {
    failure = std::current_exception();
  }
  if (!self) co_return;
  if (failure) {
    qCWarning(lcAuth, "could not reach the service at launch: %s", qUtf8Printable(describe(failure)));
    refreshing_ = false;
    co_return;
  }
  if (!email) {
    qCInfo(lcAuth, "stored session no longer valid");
    // A sign-in that finished meanwhile stored a session of its own, and that one stands.
    // Awaited on a line of its own: GCC 12 mishandles the temporaries of a comparison around co_await.
    const std::optional<QString> now = co_await sessionToken_.load();
    if (!self) co_return;
    if (now == token) forgetSession();
    refreshing_ = false;
    co_return;
  }

  const std::optional<bool> subscribed = co_await deviceFlow.subscriptionState(*token);
  if (!self) co_return;
  refreshing_ = false;
  // Signed out, or in with another session, meanwhile: that outcome stands.
  const std::optional<QString> now = co_await sessionToken_.load();
  if (!self || now != token) co_return;
  // Without an answer about the subscription, the flag this user had is kept.
  const bool knownFlag = knownUser && stored.email() == *email && stored.subscribed();
  publish(AccountState::signedIn(*email, subscribed.value_or(knownFlag)));
}

void AccountStore::forgetSession() {
  stopSignIn();
  deleteKeychainString(keychain_, sessionTokenAccount());
  sessionToken_.remember(std::nullopt);
  publish(AccountState::signedOut());
}

QCoro::Task<> AccountStore::signOutOnServer(std::optional<QString> token) {
  if (!token) co_return;
  DeviceFlow deviceFlow = deviceFlow_;
  co_await deviceFlow.signOut(*token);
}

QCoro::Task<> AccountStore::confirmSessionGone() {
  if (sessionCheckRunning_) co_return;
  sessionCheckRunning_ = true;
  const QPointer<AccountStore> self(this);
  const std::optional<QString> token = co_await sessionToken_.load();
  if (!self) co_return;
  if (!token) {
    sessionCheckRunning_ = false;
    co_return;
  }

  DeviceFlow deviceFlow = deviceFlow_;
  std::optional<QString> email;
  bool answered = true;
  try {
    email = co_await deviceFlow.session(*token);
  } catch (...) {
    answered = false;
  }
  if (!self) co_return;
  sessionCheckRunning_ = false;
  // No answer, or the session stands: nothing to do.
  if (!answered || email) co_return;
  // Only the session that was refused is gone; one a sign-in stored meanwhile stands.
  const std::optional<QString> now = co_await sessionToken_.load();
  if (!self || now != token) co_return;

  qCInfo(lcAuth, "session refused and confirmed gone; signing in again");
  deleteKeychainString(keychain_, sessionTokenAccount());
  sessionToken_.remember(std::nullopt);
  publish(AccountState::signedOut());
  signals_.postDarwinNotification(QString::fromLatin1(names::signal::kSignIn));
}

QCoro::Task<> AccountStore::refreshSubscription() {
  const QPointer<AccountStore> self(this);
  const std::optional<QString> token = co_await sessionToken_.load();
  if (!self || !token) co_return;
  const AccountState before = AccountState::load(defaults_);
  if (before.kind() != AccountState::Case::signedIn) co_return;

  DeviceFlow deviceFlow = deviceFlow_;
  const std::optional<bool> subscribed = co_await deviceFlow.subscriptionState(*token);
  // Without an answer the known flag stands: a failed lookup is no reason to take a subscription away.
  if (!self || !subscribed) co_return;
  const AccountState now = AccountState::load(defaults_);
  if (now.kind() != AccountState::Case::signedIn || now.email() != before.email()) co_return;
  publish(AccountState::signedIn(now.email(), *subscribed));
}

}  // namespace pm
