#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <optional>

#include "core/DeviceFlow.h"
#include "platform/Async.h"

namespace pm {

class AccountState;
class Clock;
class Keychain;
class ParcelmoorAPI;
class SessionTokenCache;
class SharedDefaults;
class Signals;

// The times of a sign-in's poll loop.
struct AccountStoreTiming {
  // Waits `duration` between two polls; false when `cancel` fired meanwhile.
  using Sleeper = std::function<QCoro::Task<bool>(std::chrono::milliseconds duration, CancelTokenPtr cancel)>;

  // However short an interval the service asks for, polls come no faster than this.
  std::chrono::milliseconds minimumPollPause = std::chrono::seconds(1);
  // Added to the pause each time the service says "slow_down".
  std::chrono::milliseconds slowDownStep = std::chrono::seconds(5);
  Sleeper sleep = [](std::chrono::milliseconds duration, CancelTokenPtr cancel) {
    return sleepFor(duration, std::move(cancel));
  };
};

// The agent's state machine for the account on the product's service: the device-code sign-in from the
// first request to the stored session token, the session check at launch and on request, the local and
// the server sign-out, and the reactions to a refused session or a demanded subscription. Its only output
// is the published AccountState; it keeps no copy of its own.
//
// Every answer is checked against the request that asked for it: an answer that arrives after its
// sign-in was cancelled, restarted or signed out, or after the session it checked was replaced, changes
// nothing.
class AccountStore final : public QObject {
  Q_OBJECT

 public:
  using Timing = AccountStoreTiming;
  using Sleeper = Timing::Sleeper;

  // Answers the client's sessionRefused with confirmSessionGone() and its subscriptionRequired with
  // refreshSubscription(), each as a task of its own.
  AccountStore(ParcelmoorAPI& api, Keychain& keychain, SharedDefaults& defaults, Signals& signals,
               const Clock& clock, Timing timing = {}, QObject* parent = nullptr);
  ~AccountStore() override;

  // Starts a device-code sign-in and returns the page to open in the browser; nothing when a sign-in is
  // already starting, the code could not be had (published as failed(network)), or the sign-in was
  // cancelled before its code came. A poll already running is replaced. An approval whose token the
  // keychain does not take ends as failed(keychain), never as signed in.
  QCoro::Task<std::optional<QUrl>> signIn();
  void cancelSignIn();
  // Shows the stored session as signed in at once, then asks the service whether it still stands. Without
  // a stored session it publishes signedOut, unless a sign-in runs (whose state stands).
  QCoro::Task<> refresh();
  // Local sign-out: stops any sign-in, deletes the session token, publishes signedOut.
  void forgetSession();
  // Tells the service to end `token`'s session (the app shell reads the token before forgetSession()).
  QCoro::Task<> signOutOnServer(std::optional<QString> token);
  // After a 401: when the service confirms that the stored session is gone, forgets it and posts the
  // sign-in signal so a fresh sign-in starts. One check at a time.
  QCoro::Task<> confirmSessionGone();
  // After "SUBSCRIPTION_REQUIRED": asks for the subscription state again and publishes it.
  QCoro::Task<> refreshSubscription();

 private:
  QCoro::Task<> pollForApproval(DeviceFlow::Code code, CancelTokenPtr flow);
  QCoro::Task<> finishSignIn(QString token, CancelTokenPtr flow);
  // Publishes the outcome of `flow` and ends it, unless another sign-in took over meanwhile.
  void conclude(const CancelTokenPtr& flow, const AccountState& outcome);
  void stopSignIn();
  void publish(const AccountState& state);

  DeviceFlow deviceFlow_;
  SessionTokenCache& sessionToken_;
  Keychain& keychain_;
  SharedDefaults& defaults_;
  Signals& signals_;
  const Clock& clock_;
  const Timing timing_;

  // The sign-in that waits for its device code.
  CancelTokenPtr requesting_;
  // The sign-in whose poll runs.
  CancelTokenPtr flow_;
  bool refreshing_ = false;
  bool sessionCheckRunning_ = false;
};

}  // namespace pm
