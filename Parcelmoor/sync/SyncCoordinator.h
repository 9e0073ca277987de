#pragma once

#include <QDateTime>
#include <QString>
#include <QTimer>

#include <QCoroTask>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

#include "platform/Async.h"
#include "sync/SyncCoordinating.h"
#include "sync/SyncPairing.h"
#include "sync/SyncService.h"
#include "sync/SyncState.h"
#include "sync/SyncStore.h"

namespace pm {

class AppSettings;
class Clock;
class Keychain;
class ParcelmoorAPI;
class SharedDefaults;
class Signals;

// The agent's one object that runs settings sync: it pulls the service's copy when launching has
// finished and then on a timer, pushes this computer's settings a little after each local change, turns
// sync on and off and runs the pairing flows (offering the key, joining with a code). Every step ends in
// a published SyncState and a log line; it never retries by itself. Main thread only.
class SyncCoordinator final : public SyncCoordinating {
  Q_OBJECT

 public:
  struct Timings {
    std::chrono::milliseconds pollInterval = std::chrono::seconds(30);
    // A push waits this long after the last change of a burst.
    std::chrono::milliseconds pushDelay = std::chrono::seconds(2);
    // No push is scheduled this soon after a pull applied the service's copy: that change is not ours.
    std::chrono::milliseconds quietTime = std::chrono::seconds(3);
    std::chrono::milliseconds pairingPoll = std::chrono::seconds(2);
    std::chrono::milliseconds pairingDeadline = std::chrono::seconds(300);
    // How the push's delay and the pairing polls wait: true when the time passed, false when the token was
    // cancelled first. Tests end each wait by hand; a replacement must keep no state in the function
    // object past the call, since a wait may outlive the coordinator.
    using Sleep = std::function<QCoro::Task<bool>(std::chrono::milliseconds, CancelTokenPtr)>;
    Sleep sleep = [](std::chrono::milliseconds duration, CancelTokenPtr token) {
      return sleepFor(duration, std::move(token));
    };
  };

  SyncCoordinator(SharedDefaults& defaults, Signals& signals, Keychain& keychain, AppSettings& settings,
                  ParcelmoorAPI& api, const Clock& clock, Timings timings);
  SyncCoordinator(SharedDefaults& defaults, Signals& signals, Keychain& keychain, AppSettings& settings,
                  ParcelmoorAPI& api, const Clock& clock)
      : SyncCoordinator(defaults, signals, keychain, settings, api, clock, Timings{}) {}
  ~SyncCoordinator() override;

  // Pulls now and then on every poll interval, replacing an earlier timer. The first pull's key is read
  // off this thread, so the pull starts a moment later.
  void startPolling() override;
  // Starts one pull when a key is stored and neither a flow nor a pull runs.
  void pull() override;
  // Pushes a little after the last change of a burst; nothing while a pull has just applied the service's
  // copy, or while the stored key does not open it (the push would replace the other computers' settings).
  void schedulePush() override;
  void enable() override { turnOn(); }
  void disable() override { turnOff(); }
  // With a stored key: pulls with it (publishing on, or failed). Without: starts sync from scratch, or asks
  // for a code when the service already holds another computer's settings.
  void turnOn();
  // Stops the timer and every pull, push and flow under way, closes any pairing and forgets the key; none
  // of what was stopped publishes afterwards. The service's copy stays for the other computers.
  void turnOff();
  // Stops the timer and cancels every pull, push and flow under way, publishing nothing.
  void cancelAll();
  // Nothing the coordinator started is still running (cancelled work runs until it notices).
  bool isIdle() const;
  void submitPendingCode() override;
  void startFlow(Flow flow) override;
  // Shows a pairing code and hands `key` to the computer that types it, but only while `key` opens the
  // service's copy: a computer handed a key that does not would replace the copy, and every other
  // computer would lose its connections from it and fall into the same mismatch.
  QCoro::Task<> offer(QString key) override;
  QCoro::Task<> join(QString code);
  void cancelPairing() override;
  bool hasRunningFlow() const override { return flow_ && !flow_->isCancelled(); }

  bool hasFlow() const { return flow_ != nullptr; }
  bool isPulling() const { return pull_ != nullptr; }
  bool hasPendingPush() const { return pending_ != nullptr; }
  bool isPolling() const { return poll_.isActive(); }
  qint64 generation() const { return generation_; }
  QDateTime lastApplied() const { return lastApplied_; }

 private:
  // What the running tasks use: they keep it alive past the coordinator.
  struct Parts {
    Parts(SharedDefaults& defaults, Signals& signals, Keychain& keychain, AppSettings& settings,
          ParcelmoorAPI& api, const Clock& clock);
    SyncStore store;
    SyncService service;
    SyncPairing pairing;
  };

  // One turn of a pairing flow's waiting loop: past the deadline, or a poll interval later (or stopped
  // by a cancellation on the way).
  enum class PollStep { poll, expired, stop };
  QCoro::Task<PollStep> nextPoll(QDateTime deadline, CancelTokenPtr token);

  // What runs on the coordinator's behalf, shared with the tasks, which may outlive it.
  struct Running;

  // The running flow's cancel token, read by a flow as it starts.
  CancelTokenPtr flowToken() const;
  QCoro::Task<> runFlow(Flow flow, qint64 generation, CancelTokenPtr token);
  // Once sync has come on: pulls at once, with the key just stored, and then on every poll interval.
  void pollFromNow();
  // Starts one pull with `key` when there is one and neither a flow nor a pull runs.
  void pullWith(const std::optional<QString>& key);
  QCoro::Task<> pullOnceKeyRead(CancelTokenPtr token);
  QCoro::Task<> runPull(QString key, CancelTokenPtr token);
  QCoro::Task<> runPush(CancelTokenPtr token);
  // The stored key does not open the service's copy: stops polling and pushing, and says so.
  void keyDoesNotOpenCopy();
  // Stops polling and pushing for a copy the stored key does not open, and leaves saying so to the caller.
  void recordKeyMismatch();
  // Whether `key` may be handed to another computer: no mismatch is on record and the service's copy is
  // under `key` (or there is none). A copy under another key is recorded as the mismatch. Throws the
  // service's errors.
  QCoro::Task<bool> keyStillOpensCopy(QString key, CancelTokenPtr token);
  // The offer ends without a code shown or the key handed over, with the key mismatch published.
  void offerRefused();
  // The same, once a code is shown: the pairing is closed first.
  QCoro::Task<> withdrawOffer(CancelTokenPtr token);
  QCoro::Task<> resume();
  QCoro::Task<> begin();
  void beginFailed(std::exception_ptr failure, const CancelTokenPtr& token);
  void joinFailed(std::exception_ptr failure, const CancelTokenPtr& token);
  QCoro::Task<> offerFailed(std::exception_ptr failure, CancelTokenPtr token);
  static QCoro::Task<> closePairing(std::shared_ptr<Parts> parts, std::shared_ptr<Running> running);
  void closePairingLater();
  void publish(const SyncState& state);
  // Publishes "on" and keeps the poll timer running: whatever way sync ends up on, it pulls from then on.
  void publishOn();
  void keepPolling();
  QDateTime now() const;

  SharedDefaults& defaults_;
  Signals& signals_;
  Keychain& keychain_;
  const Clock& clock_;
  Timings timings_;
  std::shared_ptr<Parts> parts_;

  std::shared_ptr<Running> running_;
  CancelTokenPtr flow_;
  qint64 generation_ = 0;
  QDateTime lastApplied_;
  CancelTokenPtr pull_;
  // The last pull, push or offer found a copy the stored key does not open.
  bool keyMismatch_ = false;
  // The push still waiting for its delay; a push past it runs on until it ends or is cancelled.
  CancelTokenPtr pending_;
  QTimer poll_;
};

}  // namespace pm
