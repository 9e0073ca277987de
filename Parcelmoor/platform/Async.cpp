#include "Async.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "PooledThreadsEnd.h"

namespace pm {

namespace {
QCoro::Task<> awaitAndLog(QCoro::Task<> running, const QLoggingCategory& log, const char* label) {
  try {
    co_await running;
  } catch (const std::exception& error) {
    qCWarning(log) << label << "ended with an error:" << error.what();
  } catch (...) {
    qCWarning(log) << label << "ended with an unknown error";
  }
}
}  // namespace

QThreadPool& sealingPool() {
  // Destroyed as the program exits, once the chunks still being sealed are done: left running, they
  // would use the crypto library while it is torn down.
  static QThreadPool pool;
  return pool;
}

QThreadPool& fileTransferPool() {
  // A session runs four item tasks; a few sessions (a bucket finishing while the next one fills) fit too.
  class FileTransferPool final : public QThreadPool {
   public:
    FileTransferPool() { setMaxThreadCount(16); }
  };
  static FileTransferPool pool;
  return pool;
}

namespace {
std::atomic_bool closing{false};

struct PoolEnds {
  std::mutex mutex;
  std::vector<std::function<void()>> ends;
};

// Never destroyed: a pool made while the program ends may still add itself.
PoolEnds& poolEnds() {
  static PoolEnds* const ends = new PoolEnds;
  return *ends;
}
}  // namespace

void addWorkerPoolEnd(std::function<void()> end) {
  PoolEnds& all = poolEnds();
  const std::lock_guard lock(all.mutex);
  all.ends.push_back(std::move(end));
}

bool workerPoolsClosing() {
  return closing.load(std::memory_order_relaxed);
}

void finishWorkerPools() {
  closing.store(true, std::memory_order_relaxed);
  QThreadPool::globalInstance()->waitForDone();
  sealingPool().waitForDone();
  fileTransferPool().waitForDone();
  std::vector<std::function<void()>> ends;
  {
    PoolEnds& all = poolEnds();
    const std::lock_guard lock(all.mutex);
    ends = all.ends;
  }
  for (const auto& end : ends) end();
  // Qt's waitForDone() ends a pool's threads, but each may still be running its thread-local destructors
  // when it returns; the program must not start its exit beside them.
  waitForPooledThreadsToEnd();
}

void detachTask(QCoro::Task<> task, const QLoggingCategory& category, const char* what) {
  // The returned task is dropped on purpose: the coroutine frame outlives it and frees itself at the end.
  awaitAndLog(std::move(task), category, what);
}

}  // namespace pm
