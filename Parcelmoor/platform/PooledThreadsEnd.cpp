#include "PooledThreadsEnd.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace pm {

namespace {

// The name Qt gives its pool threads, as the kernel keeps it (at most 15 bytes).
constexpr QByteArrayView kPooledThreadName("Thread (pooled)");

int pooledThreadCount() {
  const QDir tasks(QStringLiteral("/proc/self/task"));
  int count = 0;
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile name(tasks.filePath(task + QLatin1String("/comm")));
    if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == kPooledThreadName) ++count;
  }
  return count;
}

}  // namespace

void waitForPooledThreadsToEnd(std::chrono::milliseconds bound, std::chrono::milliseconds settled) {
  QElapsedTimer timer;
  timer.start();
  QElapsedTimer unchanged;
  unchanged.start();
  // The kernel offers no notice of a detached thread's end to wait on: the thread list is looked at again.
  // A thread that is ending leaves it within moments; the idle threads of a pool that lives on (one an
  // object of a test holds until exit) stay, so the wait also ends once the count has held still a while.
  for (int left = pooledThreadCount(); left > 0 && timer.elapsed() < bound.count();) {
    QThread::msleep(1);
    const int now = pooledThreadCount();
    if (now != left) unchanged.restart();
    if (unchanged.elapsed() >= settled.count()) return;
    left = now;
  }
}

}  // namespace pm
