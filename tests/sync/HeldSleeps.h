#pragma once

#include <QList>
#include <QObject>

#include <QCoroSignal>
#include <QCoroTask>

#include <chrono>
#include <memory>

#include "platform/Async.h"
#include "sync/SyncCoordinator.h"

namespace pm::test {

// Waits that end when the test says so, in place of the coordinator's timed ones: a test drives the
// push's delay and the pairing polls by hand instead of racing them on a busy machine. A cancelled wait
// ends at once, as a timed one does.
class HeldSleeps {
 public:
  SyncCoordinator::Timings::Sleep sleep() const {
    return [state = state_](std::chrono::milliseconds, CancelTokenPtr token) {
      return held(state, std::move(token));
    };
  }
  // How many waits are under way.
  qsizetype waiting() const { return state_->wakers.size(); }
  // Ends the oldest wait as if its time had passed.
  void releaseOne() {
    if (state_->wakers.isEmpty()) return;
    const std::shared_ptr<Waker> waker = state_->wakers.takeFirst();
    Q_EMIT waker->woke();
  }

 private:
  struct State {
    QList<std::shared_ptr<Waker>> wakers;
  };

  static QCoro::Task<bool> held(std::shared_ptr<State> state, CancelTokenPtr token) {
    if (token && token->isCancelled()) co_return false;
    const auto waker = std::make_shared<Waker>();
    state->wakers.append(waker);
    if (token) QObject::connect(token.get(), &CancelToken::cancelled, waker.get(), &Waker::woke);
    co_await qCoro(waker.get(), &Waker::woke);
    state->wakers.removeOne(waker);
    co_return !(token && token->isCancelled());
  }

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace pm::test
