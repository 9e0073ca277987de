#include "SyncedFolderCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "core/UploadError.h"
#include "platform/Async.h"

namespace pm {

namespace {

QString systemText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; false (errno set) when the file system reports a failed write only at this point.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Writes all of `length` bytes; false (errno set) when the file system refuses.
bool writeAll(int fd, const char* data, qint64 length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, size_t(length));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    length -= written;
  }
  return true;
}

// Moves up to `limit` bytes inside the kernel when the file systems allow it (as cp does), else through
// `buffer` (made on first need). Returns the count moved, 0 at the end, -1 on a failed read (errno set) and
// -2 on a failed write (errno set).
qint64 copyStep(int in, int out, qint64 limit, bool& kernelCopy, std::vector<char>& buffer) {
  if (kernelCopy) {
    for (;;) {
      const ssize_t moved = ::copy_file_range(in, nullptr, out, nullptr, size_t(limit), 0);
      if (moved >= 0) return moved;
      if (errno == EINTR) continue;
      if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF) break;
      return -2;
    }
    kernelCopy = false;
  }
  if (buffer.empty()) buffer.resize(size_t(limit));
  for (;;) {
    const ssize_t count = ::read(in, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return -1;
    if (count > 0 && !writeAll(out, buffer.data(), count)) return -2;
    return count;
  }
}

}  // namespace

QString SyncedFolderCopy::run() const {
  const QString folder = QFileInfo(target).absolutePath();
  if (!QDir().mkpath(folder))
    throw UploadError::transport(
        QCoreApplication::translate("ICloudUploader", "The folder “%1” could not be made.").arg(QFileInfo(folder).fileName()));

  Descriptor in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) throw UploadError::fileUnreadable();

  // O_EXCL: an existing file (or a link) of that name is never opened, so nothing is overwritten.
  const QString& base = unnumbered.isEmpty() ? target : unnumbered;
  QString written = target;
  qint64 n = 1;
  int fd = -1;
  for (;;) {
    fd = ::open(QFile::encodeName(written).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) break;
    do {
      written = numberedPath(base, ++n);
    } while (written == target || taken.contains(written));
  }
  Descriptor out(fd);
  if (!out.valid())
    throw UploadError::rejected(
        QCoreApplication::translate("ICloudUploader", "That folder in the synced folder could not be written to."));

  const auto discard = [&] { ::unlink(QFile::encodeName(written).constData()); };
  bool kernelCopy = true;
  std::vector<char> buffer;
  qint64 copied = 0;
  const auto stopped = [&] { return (stop && stop->load()) || workerPoolsClosing(); };
  for (;;) {
    if (stopped()) {
      discard();
      throw UploadError::cancelled();
    }
    const qint64 moved = copyStep(in.get(), out.get(), kStep, kernelCopy, buffer);
    if (moved == 0) break;
    if (moved == -1) {
      discard();
      throw UploadError::fileUnreadable();
    }
    if (moved < 0) {
      const int error = errno;
      discard();
      throw UploadError::transport(systemText(error));
    }
    copied += moved;
    if (size >= 1 && progress) progress(std::min(double(copied) / double(size), 1.0));
  }
  // Removed while the last step ran: the item is gone, so is its copy.
  if (stopped()) {
    discard();
    throw UploadError::cancelled();
  }
  if (!out.close()) {
    const int error = errno;
    discard();
    throw UploadError::transport(systemText(error));
  }
  return written;
}

}  // namespace pm
