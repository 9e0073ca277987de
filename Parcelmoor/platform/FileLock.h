#pragma once

#include <QString>

namespace pm {

// The kernel's exclusive lock (flock) on a small file of its own beside what it guards, held from
// construction until destruction. A waiter sleeps in the kernel until the holder lets go, with no polling
// and no time-out, so writers under contention queue up instead of giving up. The kernel drops the lock
// when its holder's process ends, so a killed writer never leaves a stale lock behind. Each FileLock opens
// the file anew, so it excludes other threads of this process as well as other processes. Hold it only for
// short work: every other writer waits for it.
class FileLock {
 public:
  explicit FileLock(const QString& lockFilePath);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool isLocked() const { return locked_; }
  // Why the lock could not be taken (the lock file could not be opened or locked).
  const QString& errorString() const { return error_; }

 private:
  int fd_ = -1;
  bool locked_ = false;
  QString error_;
};

}  // namespace pm
