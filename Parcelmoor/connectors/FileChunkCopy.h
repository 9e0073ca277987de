#pragma once

#include <QString>

class QFile;

namespace pm {

// Reads of a piece copy are at most this large, so memory stays flat whatever the piece size.
inline constexpr qint64 kFileChunkCopySlice = 4'194'304;

// Leaves exactly `length` bytes of `from`, starting at `offset`, in a fresh file at `to`: whatever was at
// `to` is removed and the new file is created exclusively and readable by the owner only. `from` is an
// open file; it is sought on every call (pieces may be copied in any order) and stays open, positioned
// after the piece. A length of 0 leaves an empty file. Throws UploadError: `fileUnreadable` when `from`
// cannot be sought or read, `rejected` when `to` cannot be created or written, and `rejected` with "This
// file changed while it was being uploaded." when `from` ends before the piece does.
void copyFileChunk(QFile& from, qint64 offset, qint64 length, const QString& to);

}  // namespace pm
