#include "FileChunkCopy.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "connectors/PieceFile.h"
#include "platform/Async.h"

namespace pm {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("FileChunkCopy", text);
}

bool writeAllAt(int fd, const char* bytes, qint64 count, qint64 at) {
  while (count > 0) {
    const ssize_t written = ::pwrite(fd, bytes, size_t(count), off_t(at));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= written;
    at += written;
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

void copyFileChunk(QFile& from, qint64 offset, qint64 length, PieceFile& to) {
  if (offset < 0 || length < 0 || !from.seek(offset)) throw UploadError::fileUnreadable();
  const int out = to.descriptor();

  // The kernel copies between the two files without the bytes passing through this process; where it
  // cannot (another kind of file system, an older kernel) the copy goes on through a buffer.
  qint64 remaining = length;
  loff_t position = offset;
  loff_t written = 0;
  while (remaining > 0) {
    const ssize_t copied = ::copy_file_range(from.handle(), &position, out, &written, size_t(remaining), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0) break;
    if (copied == 0) throw fileChangedWhileUploading();
    remaining -= copied;
  }
  if (remaining > 0) {
    if (!from.seek(offset + (length - remaining))) throw UploadError::fileUnreadable();
    QByteArray slice(std::min(remaining, kFileChunkCopySlice), Qt::Uninitialized);
    while (remaining > 0) {
      const qint64 read = from.read(slice.data(), std::min(remaining, qint64(slice.size())));
      if (read < 0) throw UploadError::fileUnreadable();
      if (read == 0) throw fileChangedWhileUploading();
      if (!writeAllAt(out, slice.constData(), read, written)) throw temporaryCopyUnwritable();
      written += read;
      remaining -= read;
    }
  }
  // What is left of a longer piece before this one is cut off.
  if (::ftruncate(out, length) != 0) throw temporaryCopyUnwritable();
  // The source's position moves past the piece, as a read would have moved it.
  if (!from.seek(offset + length)) throw UploadError::fileUnreadable();
}

void copyFileChunk(QFile& from, qint64 offset, qint64 length, const QString& to) {
  ::unlink(QFile::encodeName(to).constData());
  PieceFile piece(to);
  copyFileChunk(from, offset, length, piece);
}

QCoro::Task<> copyFileChunkOnWorker(std::shared_ptr<QFile> from, qint64 offset, qint64 length,
                                    std::shared_ptr<PieceFile> to) {
  auto work = [from = std::move(from), offset, length, to = std::move(to)] {
    copyFileChunk(*from, offset, length, *to);
  };
  QCoro::Task<> copying = runOnWorker(std::move(work));
  co_await std::move(copying);
}

}  // namespace pm
