#include "SyncCoordinator.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

#include "core/UploadError.h"
#include "core/UploaderConfig.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"
#include "platform/Log.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "sync/SealedEnvelope.h"
#include "sync/SyncCode.h"
#include "sync/SyncKey.h"

namespace pm {

namespace {

QCoro::Task<> nothing() {
  co_return;
}

// The error's text as the log shows it.
QString describe(const std::exception_ptr& failure) {
  return UploadError::from(failure).message();
}

// The case of `failure` when it is an `Error`; nothing for any other error.
template <typename Error, typename Case>
std::optional<Case> caseOf(const std::exception_ptr& failure, Case (Error::*read)() const) {
  try {
    std::rethrow_exception(failure);
  } catch (const Error& error) {
    return (error.*read)();
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<UploadError::Kind> uploadErrorKind(const std::exception_ptr& failure) {
  return caseOf(failure, &UploadError::kind);
}

std::optional<PMRS1::Failure> envelopeFailure(const std::exception_ptr& failure) {
  return caseOf(failure, &PMRS1::Error::failure);
}

std::optional<SyncPairing::Failure> pairingFailure(const std::exception_ptr& failure) {
  return caseOf(failure, &SyncPairing::Error::failure);
}

// A flow that was cancelled ends silently, whatever failed: the canceller publishes.
bool endsSilently(const std::exception_ptr& failure, const CancelTokenPtr& token) {
  return (token && token->isCancelled()) || uploadErrorKind(failure) == UploadError::Kind::cancelled;
}

// Not reaching the service is "network"; everything else it or this computer refused is "refused".
SyncState::Failure networkOrRefused(const std::exception_ptr& failure) {
  return uploadErrorKind(failure) == UploadError::Kind::transport ? SyncState::Failure::network
                                                                  : SyncState::Failure::refused;
}

// Whether a task should stop where it stands: the coordinator is gone or the task was cancelled.
bool ended(const QPointer<SyncCoordinator>& self, const CancelTokenPtr& token) {
  return !self || (token && token->isCancelled());
}

}  // namespace

// Counted from each task's start to its end, with the tokens that stop them.
struct SyncCoordinator::Running {
  int count = 0;
  QList<CancelTokenPtr> tokens;
};

namespace {

// One task of the coordinator's, for as long as its coroutine runs.
class RunningTask {
 public:
  template <typename Running>
  RunningTask(std::shared_ptr<Running> running, CancelTokenPtr token) {
    ++running->count;
    if (token) running->tokens.append(token);
    end_ = [running = std::move(running), token = std::move(token)] {
      --running->count;
      if (token) running->tokens.removeOne(token);
    };
  }
  ~RunningTask() { end_(); }
  RunningTask(const RunningTask&) = delete;
  RunningTask& operator=(const RunningTask&) = delete;

 private:
  std::function<void()> end_;
};

}  // namespace

SyncCoordinator::Parts::Parts(SharedDefaults& defaults, Signals& signals, Keychain& keychain,
                              AppSettings& settings, ParcelmoorAPI& api, const Clock& clock)
    : store(defaults, signals, keychain, settings, clock), service(store, api), pairing(api) {}

SyncCoordinator::SyncCoordinator(SharedDefaults& defaults, Signals& signals, Keychain& keychain,
                                 AppSettings& settings, ParcelmoorAPI& api, const Clock& clock,
                                 Timings timings)
    : defaults_(defaults),
      signals_(signals),
      keychain_(keychain),
      clock_(clock),
      timings_(timings),
      parts_(std::make_shared<Parts>(defaults, signals, keychain, settings, api, clock)),
      running_(std::make_shared<Running>()),
      lastApplied_(UploaderConfig::distantPast()) {
  connect(&poll_, &QTimer::timeout, this, [this] { pull(); });
}

SyncCoordinator::~SyncCoordinator() {
  cancelAll();
}

void SyncCoordinator::cancelAll() {
  poll_.stop();
  pending_.reset();
  flow_.reset();
  pull_.reset();
  // Cancelling runs the tasks' own code, which takes their tokens off the list.
  const QList<CancelTokenPtr> tokens = running_->tokens;
  for (const CancelTokenPtr& token : tokens) token->cancel();
}

bool SyncCoordinator::isIdle() const {
  return running_->count == 0;
}

QDateTime SyncCoordinator::now() const {
  return clock_.now();
}

void SyncCoordinator::publish(const SyncState& state) {
  state.save(defaults_, signals_);
}

void SyncCoordinator::publishOn() {
  publish(SyncState::on());
  keepPolling();
}

void SyncCoordinator::keepPolling() {
  if (!poll_.isActive()) poll_.start(timings_.pollInterval);
}

void SyncCoordinator::startPolling() {
  // The key of the first pull is read on a worker: a keychain read asks the Secret Service (and may load
  // libsecret for a locked item), and nothing else the agent starts with should wait for that.
  const CancelTokenPtr token = makeCancelToken();
  detachTask(pullOnceKeyRead(token), lcSync, "Sync pull");
  poll_.start(timings_.pollInterval);
}

void SyncCoordinator::pollFromNow() {
  pull();
  poll_.start(timings_.pollInterval);
}

QCoro::Task<> SyncCoordinator::pullOnceKeyRead(CancelTokenPtr token) {
  const RunningTask running(running_, token);
  const QPointer<SyncCoordinator> self(this);
  const Keychain& keychain = keychain_;
  const std::optional<QString> key = co_await QtConcurrent::run([&keychain] { return loadSyncKey(keychain); });
  if (!self || token->isCancelled()) co_return;
  pullWith(key);
}

void SyncCoordinator::pull() {
  pullWith(loadSyncKey(keychain_));
}

void SyncCoordinator::pullWith(const std::optional<QString>& key) {
  if (!key) return;
  if (flow_ || pull_) return;
  pull_ = makeCancelToken();
  detachTask(runPull(*key, pull_), lcSync, "Sync pull");
}

QCoro::Task<> SyncCoordinator::runPull(QString key, CancelTokenPtr token) {
  const RunningTask running(running_, token);
  const QPointer<SyncCoordinator> self(this);
  const std::shared_ptr<Parts> parts = parts_;
  lastApplied_ = now();
  std::exception_ptr failure;
  try {
    co_await parts->service.pull(key, token);
  } catch (...) {
    failure = std::current_exception();
  }
  if (!self) co_return;
  if (pull_ == token) pull_.reset();
  if (token->isCancelled()) co_return;
  if (!failure) {
    lastApplied_ = now();
    keyMismatch_ = false;
  } else if (envelopeFailure(failure) == PMRS1::Failure::wrongKey) {
    keyDoesNotOpenCopy();
  } else {
    qCWarning(lcSync, "could not read the synced connections: %s", qUtf8Printable(describe(failure)));
  }
}

void SyncCoordinator::recordKeyMismatch() {
  keyMismatch_ = true;
  poll_.stop();
  // A push waiting for its delay would meet the same copy.
  if (pending_) pending_->cancel();
  pending_.reset();
}

void SyncCoordinator::keyDoesNotOpenCopy() {
  recordKeyMismatch();
  qCWarning(lcSync, "this computer's sync key does not open the stored connections");
  publish(SyncState::failed(SyncState::Failure::keyMismatch, true));
}

void SyncCoordinator::schedulePush() {
  if (!loadSyncKey(keychain_)) return;
  // The copy is the other computers' settings under a key this one does not hold: nothing of this
  // computer's is stored until a pull opens it again (or sync is turned on anew).
  if (keyMismatch_) return;
  if (lastApplied_.msecsTo(now()) <= timings_.quietTime.count()) return;
  if (pending_) pending_->cancel();
  pending_ = makeCancelToken();
  detachTask(runPush(pending_), lcSync, "Sync push");
}

QCoro::Task<> SyncCoordinator::runPush(CancelTokenPtr token) {
  const RunningTask running(running_, token);
  const QPointer<SyncCoordinator> self(this);
  const std::shared_ptr<Parts> parts = parts_;
  const bool slept = co_await timings_.sleep(timings_.pushDelay, token);
  if (!slept || !self) co_return;
  // Past its delay the push is no longer the waiting one: a new change waits anew instead of cutting this
  // push short, while turning off still cancels it through its token.
  if (pending_ == token) pending_.reset();
  const std::optional<QString> key = loadSyncKey(keychain_);
  if (!key) co_return;
  std::exception_ptr failure;
  try {
    co_await parts->service.push(*key, token);
  } catch (...) {
    failure = std::current_exception();
  }
  if (!failure || !self || token->isCancelled()) co_return;
  if (envelopeFailure(failure) == PMRS1::Failure::wrongKey) {
    keyDoesNotOpenCopy();
    co_return;
  }
  qCWarning(lcSync, "could not store the connections: %s", qUtf8Printable(describe(failure)));
}

void SyncCoordinator::startFlow(Flow flow) {
  if (flow_) flow_->cancel();
  const qint64 generation = ++generation_;
  flow_ = makeCancelToken();
  detachTask(runFlow(std::move(flow), generation, flow_), lcSync, "Sync flow");
}

CancelTokenPtr SyncCoordinator::flowToken() const {
  // Run outside startFlow (a test calling a flow directly), a flow has a token nobody cancels.
  return flow_ ? flow_ : makeCancelToken();
}

QCoro::Task<> SyncCoordinator::runFlow(Flow flow, qint64 generation, CancelTokenPtr token) {
  const RunningTask running(running_, token);
  const QPointer<SyncCoordinator> self(this);
  try {
    QCoro::Task<> running = flow();
    co_await std::move(running);
  } catch (...) {
    // The flows publish their own failures; this is one none of them foresaw. The flow still ends, so
    // pulls are not held off for good.
    qCCritical(lcSync, "a sync flow failed unexpectedly: %s",
               qUtf8Printable(describe(std::current_exception())));
  }
  // A flow replaced by a newer one leaves the newer one's handle alone.
  if (self && generation_ == generation) flow_.reset();
}

QCoro::Task<SyncCoordinator::PollStep> SyncCoordinator::nextPoll(QDateTime deadline, CancelTokenPtr token) {
  if (now() >= deadline) co_return PollStep::expired;
  // A sleep cut short by the cancellation is no failure: the flow only ends.
  const bool slept = co_await timings_.sleep(timings_.pairingPoll, token);
  co_return slept ? PollStep::poll : PollStep::stop;
}

void SyncCoordinator::turnOn() {
  const QPointer<SyncCoordinator> self(this);
  if (loadSyncKey(keychain_)) {
    startFlow([self] { return self ? self->resume() : nothing(); });
    return;
  }
  publish(SyncState::starting());
  startFlow([self] { return self ? self->begin() : nothing(); });
}

QCoro::Task<> SyncCoordinator::resume() {
  const QPointer<SyncCoordinator> self(this);
  const std::shared_ptr<Parts> parts = parts_;
  const CancelTokenPtr token = flowToken();
  const std::optional<QString> key = loadSyncKey(keychain_);
  if (!key) co_return;
  lastApplied_ = now();
  std::exception_ptr failure;
  try {
    co_await parts->service.pull(*key, token);
  } catch (...) {
    failure = std::current_exception();
  }
  if (ended(self, token)) co_return;
  if (!failure) {
    lastApplied_ = now();
    keyMismatch_ = false;
    publishOn();
    co_return;
  }
  qCWarning(lcSync, "could not read the synced connections: %s", qUtf8Printable(describe(failure)));
  if (envelopeFailure(failure) == PMRS1::Failure::wrongKey) {
    deleteSyncKey(keychain_);
    publish(SyncState::failed(SyncState::Failure::mismatch, false));
    co_return;
  }
  // The key may well be right: the service was out of reach or refused. It stays, and the timer tries again.
  publish(SyncState::failed(networkOrRefused(failure), true));
  keepPolling();
}

QCoro::Task<> SyncCoordinator::begin() {
  const QPointer<SyncCoordinator> self(this);
  const std::shared_ptr<Parts> parts = parts_;
  const CancelTokenPtr token = flowToken();
  std::exception_ptr failure;
  std::optional<SyncService::Head> head;
  try {
    head = co_await parts->service.fetchHead(token);
  } catch (...) {
    failure = std::current_exception();
  }
  if (ended(self, token)) co_return;
  if (failure) co_return beginFailed(failure, token);
  if (head->version >= 1) {
    publish(SyncState::enterCode());
    co_return;
  }

  QString key;
  try {
    key = makeSyncKey();
  } catch (...) {
    co_return beginFailed(std::current_exception(), token);
  }
  // Sealing the settings under a key that is kept nowhere would lock every computer out of the copy.
  if (!saveSyncKey(keychain_, key)) {
    qCWarning(lcSync, "sync could not start: the keychain did not keep the sync key");
    publish(SyncState::failed(SyncState::Failure::refused, false));
    co_return;
  }
  try {
    co_await parts->service.push(key, token);
  } catch (...) {
    failure = std::current_exception();
  }
  if (ended(self, token)) co_return;
  if (failure) co_return beginFailed(failure, token);
  qCInfo(lcSync, "sync started on this computer");
  keyMismatch_ = false;
  publish(SyncState::on());
  pollFromNow();
}

void SyncCoordinator::beginFailed(std::exception_ptr failure, const CancelTokenPtr& token) {
  if (endsSilently(failure, token)) return;
  qCWarning(lcSync, "sync could not start: %s", qUtf8Printable(describe(failure)));
  publish(SyncState::failed(networkOrRefused(failure), false));
}

void SyncCoordinator::submitPendingCode() {
  const QVariant stored = defaults_.update(QString::fromLatin1(names::key::kPendingSyncCode),
                                           [](const QVariant&) { return QVariant(); });
  const QString typed = stored.typeId() == QMetaType::QString ? stored.toString() : QString();
  const QString code = SyncCode::normalize(typed);
  if (code.size() != SyncCode::kPairingCodeLength) return;
  const QPointer<SyncCoordinator> self(this);
  startFlow([self, code] { return self ? self->join(code) : nothing(); });
}

QCoro::Task<> SyncCoordinator::join(QString code) {
  const QPointer<SyncCoordinator> self(this);
  const std::shared_ptr<Parts> parts = parts_;
  const CancelTokenPtr token = flowToken();
  publish(SyncState::joining());

  std::exception_ptr failure;
  QByteArray privateKey;
  try {
    privateKey = co_await parts->pairing.answer(code, token);
  } catch (...) {
    failure = std::current_exception();
  }
  if (ended(self, token)) co_return;
  if (failure) co_return joinFailed(failure, token);

  const QDateTime deadline = now().addMSecs(timings_.pairingDeadline.count());
  while (true) {
    const PollStep step = co_await nextPoll(deadline, token);
    if (!self || step == PollStep::stop) co_return;
    if (step == PollStep::expired) {
      publish(SyncState::failed(SyncState::Failure::expired, false));
      co_return;
    }

    std::optional<QString> key;
    try {
      key = co_await parts->pairing.claim(code, privateKey, token);
    } catch (...) {
      failure = std::current_exception();
    }
    if (ended(self, token)) co_return;
    if (failure) co_return joinFailed(failure, token);
    if (!key) continue;

    if (!saveSyncKey(keychain_, *key)) {
      qCWarning(lcSync, "joining sync failed: the keychain did not keep the sync key");
      publish(SyncState::failed(SyncState::Failure::refused, false));
      co_return;
    }
    qCInfo(lcSync, "sync key received from another device");
    lastApplied_ = now();
    bool replace = false;
    try {
      co_await parts->service.pull(*key, token);
    } catch (...) {
      failure = std::current_exception();
      replace = envelopeFailure(failure) == PMRS1::Failure::wrongKey;
    }
    if (ended(self, token)) co_return;
    if (replace) {
      qCInfo(lcSync, "what was stored will not open; replacing it with this computer's connections");
      failure = nullptr;
      try {
        co_await parts->service.replace(*key, token);
      } catch (...) {
        failure = std::current_exception();
      }
      if (ended(self, token)) co_return;
    }
    if (failure) co_return joinFailed(failure, token);
    lastApplied_ = now();
    keyMismatch_ = false;
    publish(SyncState::on());
    pollFromNow();
    co_return;
  }
}

void SyncCoordinator::joinFailed(std::exception_ptr failure, const CancelTokenPtr& token) {
  if (endsSilently(failure, token)) return;
  const std::optional<SyncPairing::Failure> pairing = pairingFailure(failure);
  if (pairing == SyncPairing::Failure::noPairing) {
    qCInfo(lcSync, "code typed while no pairing is open");
    publish(SyncState::failed(SyncState::Failure::noPairing, false));
    return;
  }
  if (pairing == SyncPairing::Failure::gone) {
    qCInfo(lcSync, "pairing refused by the other computer");
    publish(SyncState::failed(SyncState::Failure::mismatch, false));
    return;
  }
  qCWarning(lcSync, "joining sync failed: %s", qUtf8Printable(describe(failure)));
  publish(SyncState::failed(networkOrRefused(failure), false));
}

QCoro::Task<> SyncCoordinator::offer(QString key) {
  const QPointer<SyncCoordinator> self(this);
  const std::shared_ptr<Parts> parts = parts_;
  const CancelTokenPtr token = flowToken();

  std::exception_ptr failure;
  bool keyOpens = false;
  try {
    keyOpens = co_await keyStillOpensCopy(key, token);
  } catch (...) {
    failure = std::current_exception();
  }
  if (ended(self, token)) co_return;
  if (failure) {
    co_await offerFailed(failure, token);
    co_return;
  }
  if (!keyOpens) {
    offerRefused();
    co_return;
  }

  QString code;
  QByteArray salt;
  try {
    code = SyncCode::random();
    salt = SyncPairing::makeSalt();
    co_await parts->pairing.open(salt, token);
  } catch (...) {
    failure = std::current_exception();
  }
  if (ended(self, token)) co_return;
  if (failure) {
    co_await offerFailed(failure, token);
    co_return;
  }
  publish(SyncState::offering(code));
  qCInfo(lcSync, "showing a pairing code");

  const QDateTime deadline = now().addMSecs(timings_.pairingDeadline.count());
  while (true) {
    const PollStep step = co_await nextPoll(deadline, token);
    if (!self || step == PollStep::stop) co_return;
    // A pull or push still under way when the code was shown may have found the copy under another key.
    if (keyMismatch_) {
      co_await withdrawOffer(token);
      co_return;
    }
    if (step == PollStep::expired) {
      co_await parts->pairing.close();
      if (!ended(self, token)) publishOn();
      co_return;
    }

    std::optional<QByteArray> publicKey;
    try {
      publicKey = co_await parts->pairing.fetchAnswer(code, salt, token);
      // The copy may have changed since the code was shown: the key leaves only while it still opens it.
      if (publicKey) keyOpens = co_await keyStillOpensCopy(key, token);
      if (publicKey && keyOpens) co_await parts->pairing.handOver(key, *publicKey, code, token);
    } catch (...) {
      failure = std::current_exception();
    }
    if (ended(self, token)) co_return;
    if (failure) {
      co_await offerFailed(failure, token);
      co_return;
    }
    if (!keyOpens) {
      co_await withdrawOffer(token);
      co_return;
    }
    if (!publicKey) continue;
    qCInfo(lcSync, "another computer was let into sync");
    publishOn();
    co_return;
  }
}

QCoro::Task<bool> SyncCoordinator::keyStillOpensCopy(QString key, CancelTokenPtr token) {
  if (keyMismatch_) co_return false;
  const QPointer<SyncCoordinator> self(this);
  const std::shared_ptr<Parts> parts = parts_;
  const bool opens = co_await parts->service.opensCopy(key, token);
  if (!opens && !ended(self, token)) recordKeyMismatch();
  co_return opens;
}

QCoro::Task<> SyncCoordinator::withdrawOffer(CancelTokenPtr token) {
  const QPointer<SyncCoordinator> self(this);
  const std::shared_ptr<Parts> parts = parts_;
  // Closed, so that a computer waiting for the key hears at once that none is coming.
  co_await parts->pairing.close();
  if (ended(self, token)) co_return;
  offerRefused();
}

void SyncCoordinator::offerRefused() {
  qCWarning(lcSync, "offer refused: this computer's sync key does not open the stored connections");
  publish(SyncState::failed(SyncState::Failure::keyMismatch, true));
}

QCoro::Task<> SyncCoordinator::offerFailed(std::exception_ptr failure, CancelTokenPtr token) {
  if (endsSilently(failure, token)) co_return;
  const QPointer<SyncCoordinator> self(this);
  const std::shared_ptr<Parts> parts = parts_;
  const std::optional<SyncPairing::Failure> pairing = pairingFailure(failure);
  if (pairing == SyncPairing::Failure::gone) {
    publishOn();
    co_return;
  }
  if (pairing == SyncPairing::Failure::badProof) {
    co_await parts->pairing.close();
    if (ended(self, token)) co_return;
    qCWarning(lcSync, "offer refused: the proof behind the typed code did not match");
    publish(SyncState::failed(SyncState::Failure::mismatch, true));
    co_return;
  }
  qCWarning(lcSync, "offer failed: %s", qUtf8Printable(describe(failure)));
  publish(SyncState::failed(networkOrRefused(failure), true));
}

QCoro::Task<> SyncCoordinator::closePairing(std::shared_ptr<Parts> parts, std::shared_ptr<Running> running) {
  const RunningTask counted(std::move(running), nullptr);
  co_await parts->pairing.close();
}

void SyncCoordinator::closePairingLater() {
  detachTask(closePairing(parts_, running_), lcSync, "Closing the pairing");
}

void SyncCoordinator::cancelPairing() {
  const bool keyStored = loadSyncKey(keychain_).has_value();
  if (flow_) flow_->cancel();
  flow_.reset();
  if (keyStored) {
    closePairingLater();
    publishOn();
  } else {
    publish(SyncState::off());
  }
}

void SyncCoordinator::turnOff() {
  cancelAll();
  closePairingLater();
  deleteSyncKey(keychain_);
  keyMismatch_ = false;
  qCInfo(lcSync, "sync switched off on this computer");
  publish(SyncState::off());
}

}  // namespace pm
