#include "FileChunkCopy.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Async.h"
#include "platform/FileDescriptor.h"

namespace pm {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("FileChunkCopy", text);
}

bool writeAll(int fd, const char* bytes, qint64 count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, size_t(count));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= written;
  }
  return true;
}

}  // namespace

UploadError fileChangedWhileUploading() {
  return UploadError::rejected(translated("This file changed while it was being uploaded."));
}

UploadError temporaryCopyUnwritable() {
  return UploadError::rejected(translated("A temporary copy of this file could not be written."));
}

void copyFileChunk(QFile& from, qint64 offset, qint64 length, const QString& to) {
  if (offset < 0 || length < 0 || !from.seek(offset)) throw UploadError::fileUnreadable();

  const QByteArray target = QFile::encodeName(to);
  ::unlink(target.constData());
  // O_EXCL and O_NOFOLLOW: a file or link that appears at the name after the unlink is never written through.
  FileDescriptor out(::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.isValid()) throw temporaryCopyUnwritable();

  // The kernel copies between the two files without the bytes passing through this process; where it
  // cannot (another kind of file system, an older kernel) the copy goes on through a buffer.
  qint64 remaining = length;
  loff_t position = offset;
  while (remaining > 0) {
    const ssize_t copied = ::copy_file_range(from.handle(), &position, out.get(), nullptr, size_t(remaining), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0) break;
    if (copied == 0) throw fileChangedWhileUploading();
    remaining -= copied;
  }
  // The source's position moves past the piece, as a read would have moved it.
  if (remaining == 0) {
    if (!from.seek(offset + length)) throw UploadError::fileUnreadable();
    return;
  }
  if (!from.seek(offset + (length - remaining))) throw UploadError::fileUnreadable();

  QByteArray slice(std::min(remaining, kFileChunkCopySlice), Qt::Uninitialized);
  while (remaining > 0) {
    const qint64 read = from.read(slice.data(), std::min(remaining, qint64(slice.size())));
    if (read < 0) throw UploadError::fileUnreadable();
    if (read == 0) throw fileChangedWhileUploading();
    if (!writeAll(out.get(), slice.constData(), read)) throw temporaryCopyUnwritable();
    remaining -= read;
  }
}

QCoro::Task<> copyFileChunkOnWorker(std::shared_ptr<QFile> from, qint64 offset, qint64 length, QString to) {
  auto work = [from = std::move(from), offset, length, to = std::move(to)] {
    copyFileChunk(*from, offset, length, to);
  };
  QCoro::Task<> copying = runOnWorker(std::move(work));
  co_await std::move(copying);
}

}  // namespace pm
