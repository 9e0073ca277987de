#include "PooledThreadsEnd.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace pm::test {

namespace {

// The name Qt gives its pool threads, as the kernel keeps it (at most 15 bytes).
constexpr QByteArrayView kPooledThreadName("Thread (pooled)");

bool aPooledThreadIsLeft() {
  const QDir tasks(QStringLiteral("/proc/self/task"));
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile name(tasks.filePath(task + QLatin1String("/comm")));
    if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == kPooledThreadName) return true;
  }
  return false;
}

}  // namespace

void waitForPooledThreadsToEnd(std::chrono::milliseconds bound) {
  QElapsedTimer timer;
  timer.start();
  // The kernel offers no notice of a detached thread's end to wait on: the thread list is looked at again
  // until it no longer holds one.
  while (aPooledThreadIsLeft() && timer.elapsed() < bound.count()) QThread::msleep(1);
}

}  // namespace pm::test
