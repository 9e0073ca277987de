#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <functional>
#include <QTimer>

#include <QCoroFuture>
#include <QCoroSignal>
#include <QCoroTask>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace pm {

// Cancellation that code decides from its own token, never from an error code: Qt reports an aborted and
// a timed-out reply alike, and an uploader may throw "cancelled" on its own.
class CancelToken final : public QObject {
  Q_OBJECT

 public:
  bool isCancelled() const { return cancelled_; }
  // Idempotent; the signal fires once.
  void cancel() {
    if (cancelled_) return;
    cancelled_ = true;
    Q_EMIT cancelled();
  }

 Q_SIGNALS:
  void cancelled();

 private:
  bool cancelled_ = false;
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;

inline CancelTokenPtr makeCancelToken() { return std::make_shared<CancelToken>(); }

// Wakes a sleeping coroutine from either of two sources.
class Waker final : public QObject {
  Q_OBJECT
 Q_SIGNALS:
  void woke();
};

// Sleeps on the main thread's event loop. Returns false when `token` was cancelled before or during the
// sleep (the sleep ends at once then).
inline QCoro::Task<bool> sleepFor(std::chrono::milliseconds duration, CancelTokenPtr token = {}) {
  if (token && token->isCancelled()) co_return false;
  Waker waker;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &waker, &Waker::woke);
  if (token) QObject::connect(token.get(), &CancelToken::cancelled, &waker, &Waker::woke);
  timer.start(duration);
  co_await qCoro(&waker, &Waker::woke);
  co_return !(token && token->isCancelled());
}

// Starts a task nobody awaits on purpose and keeps it running to its end; an exception that escapes it
// is logged instead of vanishing with the task.
void detachTask(QCoro::Task<> task, const QLoggingCategory& category, const char* what);
// The same, with a category as declared by Q_DECLARE_LOGGING_CATEGORY (pass `lcUpload`).
inline void detachTask(QCoro::Task<> task, const QLoggingCategory& (*category)(), const char* what) {
  detachTask(std::move(task), category(), what);
}

// The threads that seal files for upload. Sealing keeps a thread busy for as long as a file streams out,
// so it runs apart from the shared pool: a folder walk or a key derivation never queues behind it.
QThreadPool& sealingPool();

// The threads that carry FTP transfers and copies into the synced folder. Each holds its thread for as long
// as a file travels (or a server keeps it waiting), so they run apart from the shared pool, where nothing
// short may wait behind them, with a thread for every upload that sessions run at once.
QThreadPool& fileTransferPool();

// Waits for the work still running on the shared pool, the sealing pool and the file transfer pool, ends
// the pools that libraries keep for themselves (`addWorkerPoolEnd`), and waits for their threads to have
// left. Programs call it as main() ends: the pools would otherwise be torn down after the crypto library,
// and a chunk still being sealed or a key still being derived would use it half destroyed. Before it
// waits, workerPoolsClosing() turns true.
void finishWorkerPools();

// True once finishWorkerPools() has begun. Work that holds a pool's thread for as long as a file travels
// (an FTP transfer, a copy into the synced folder) stops at its next step, as when its item is removed: a
// quitting program, or a session ending, must not wait for a transfer to end by itself.
bool workerPoolsClosing();

// Has finishWorkerPools() also run `end`, which stops a pool a library keeps of its own and waits for it.
// Called once per pool, when the pool is made.
void addWorkerPoolEnd(std::function<void()> end);

// Runs `work` on `pool` and resumes the caller on its own thread with the result. An exception thrown by
// the work reaches the caller as it was thrown (QtConcurrent alone would wrap it in QUnhandledException
// and lose its type, and with it the text the user should see).
template <typename Work, typename Result = std::invoke_result_t<Work&>>
QCoro::Task<Result> runOnWorker(QThreadPool& pool, Work work) {
  struct Outcome {
    std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> value{};
    std::exception_ptr error;
  };
  QFuture<Outcome> running = QtConcurrent::run(&pool, [work = std::move(work)]() mutable {
    Outcome outcome;
    try {
      if constexpr (std::is_void_v<Result>) {
        work();
      } else {
        outcome.value.emplace(work());
      }
    } catch (...) {
      outcome.error = std::current_exception();
    }
    return outcome;
  });
  Outcome outcome = co_await running;
  if (outcome.error) std::rethrow_exception(outcome.error);
  if constexpr (!std::is_void_v<Result>) co_return std::move(*outcome.value);
}

// The same on the shared thread pool, where short CPU work (folder walks, key derivations) runs; never
// anything that waits for a network or holds a file's whole journey.
template <typename Work, typename Result = std::invoke_result_t<Work&>>
QCoro::Task<Result> runOnWorker(Work work) {
  return runOnWorker(*QThreadPool::globalInstance(), std::move(work));
}

}  // namespace pm
