#include "FileChunkCopy.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace pm {

namespace {

QString translated(const char* text) { return QCoreApplication::translate("FileChunkCopy", text); }

}  // namespace

UploadError temporaryCopyUnwritable() {
  return UploadError::rejected(translated("A temporary copy of this file could not be written."));
}

UploadError fileChangedWhileUploading() {
  return UploadError::rejected(translated("This file changed while it was being uploaded."));
}

void copyFileChunk(QFile& from, qint64 offset, qint64 length, const QString& to) {
  if (offset < 0 || length < 0 || !from.seek(offset)) throw UploadError::fileUnreadable();

  QFile::remove(to);
  QFile output(to);
  // NewOnly creates with O_EXCL: a link someone put at `to` makes the open fail instead of being followed.
  if (!output.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    throw temporaryCopyUnwritable();

  QByteArray slice(std::min(length, kChunkCopySlice), Qt::Uninitialized);
  qint64 remaining = length;
  while (remaining > 0) {
    const qint64 read = from.read(slice.data(), std::min(remaining, qint64(slice.size())));
    if (read < 0) throw UploadError::fileUnreadable();
    if (read == 0) throw fileChangedWhileUploading();
    if (output.write(slice.constData(), read) != read) throw temporaryCopyUnwritable();
    remaining -= read;
  }
}

}  // namespace pm
