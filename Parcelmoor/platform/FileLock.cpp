#include "FileLock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pm {

FileLock::FileLock(const QString& lockFilePath) {
  // The file is never removed: unlinking a lock file lets a late waiter lock an inode nobody else uses.
  do {
    fd_ = ::open(QFile::encodeName(lockFilePath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    error_ = QString::fromLocal8Bit(std::strerror(errno));
    return;
  }
  int result = 0;
  do {
    result = ::flock(fd_, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    error_ = QString::fromLocal8Bit(std::strerror(errno));
    return;
  }
  locked_ = true;
}

FileLock::~FileLock() {
  // Closing the descriptor releases the lock.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace pm
