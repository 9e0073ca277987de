#include "Async.h"

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
  static QThreadPool* const pool = [] {
    // Never destroyed: its threads may still be finishing a chunk while the program exits.
    auto* threads = new QThreadPool;
    threads->setObjectName(QStringLiteral("sealing"));
    return threads;
  }();
  return *pool;
}

void detachTask(QCoro::Task<> task, const QLoggingCategory& category, const char* what) {
  // The returned task is dropped on purpose: the coroutine frame outlives it and frees itself at the end.
  awaitAndLog(std::move(task), category, what);
}

}  // namespace pm
