#pragma once

#include <QString>

#include "core/UploadError.h"

class QFile;

namespace pm {

// A piece is copied in reads of at most this much, so memory stays flat whatever the piece size.
inline constexpr qint64 kChunkCopySlice = 4'194'304;

// "This file changed while it was being uploaded.": the file ended before the size it was registered with.
UploadError fileChangedWhileUploading();
// "A temporary copy of this file could not be written."
UploadError temporaryCopyUnwritable();

// Copies `length` bytes of `from` (open for reading), starting at `offset`, into a new file at `to`. Every
// call seeks, so pieces may be copied in any order; `from` stays open, positioned after the piece. Whatever
// was at `to` is removed first and the new file is created exclusively (never through a link planted
// there) and readable by the owner only, so `to` belongs in a folder nobody else can write to. A length of
// 0 leaves an empty file. Throws UploadError: `fileUnreadable` when `from` cannot be positioned or read,
// `rejected` when the source ends early (fileChangedWhileUploading()) or the copy cannot be written. On a
// failure the partial copy is left for the caller, who removes the piece file on every path.
void copyFileChunk(QFile& from, qint64 offset, qint64 length, const QString& to);

}  // namespace pm
