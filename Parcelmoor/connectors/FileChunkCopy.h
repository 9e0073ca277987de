#pragma once

#include <QString>

#include <QCoroTask>

#include <memory>

#include "core/UploadError.h"

class QFile;

namespace pm {

class PieceFile;

// Reads of a piece copy are at most this large, so memory stays flat whatever the piece size.
inline constexpr qint64 kFileChunkCopySlice = 4'194'304;

// "This file changed while it was being uploaded.": the file ended before the size it was registered with.
UploadError fileChangedWhileUploading();
// "A temporary copy of this file could not be written."
UploadError temporaryCopyUnwritable();

// Leaves exactly `length` bytes of `from`, starting at `offset`, in `to`, whatever it held before (a longer
// piece, a shorter one). `from` is an open file; it is sought on every call (pieces may be copied in any
// order) and stays open, positioned after the piece. A length of 0 leaves an empty file. Throws UploadError:
// `fileUnreadable` when `from` cannot be sought or read, temporaryCopyUnwritable() when `to` cannot be
// written, and fileChangedWhileUploading() when `from` ends before the piece does. A partial copy is left for
// the caller, whose folder removes it.
void copyFileChunk(QFile& from, qint64 offset, qint64 length, PieceFile& to);

// The same into a fresh PieceFile at `to`: whatever was at `to` is removed first. Throws as above, and
// temporaryCopyUnwritable() when the file cannot be created.
void copyFileChunk(QFile& from, qint64 offset, qint64 length, const QString& to);

// copyFileChunk() on a worker thread, so a slow disk never holds up the main thread. The worker shares
// `from` and `to`, which nobody else may use until the task ends.
QCoro::Task<> copyFileChunkOnWorker(std::shared_ptr<QFile> from, qint64 offset, qint64 length,
                                    std::shared_ptr<PieceFile> to);

}  // namespace pm
