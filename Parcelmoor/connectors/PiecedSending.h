#pragma once

#include <QString>

#include <QCoroTask>

#include <functional>

#include "platform/Async.h"
#include "upload/BucketUploader.h"

namespace pm {

// Sends one piece: the private copy of the piece at `piece`, which lies at `range` of the whole file.
using PieceSender = std::function<QCoro::Task<>(QString piece, ByteRange range)>;

// Sends the `size` bytes (at least one) of `file` in pieces of `pieceSize`, one after the other. Each piece
// is copied into a PieceFolder made in `temporaryDirectory`, on a worker thread while the piece before it
// travels, into two files that take turns ("<name>-1", "<name>-2", each written over by its next piece),
// and handed to `send`. Throws UploadError `fileUnreadable` when `file` does not open, `cancelled` when
// `cancel` fires between pieces, and the copy's and `send`'s failures as they are. However it ends, no copy
// is running any more and the piece files are gone.
QCoro::Task<> sendInPieces(QString file, qint64 size, qint64 pieceSize, QString temporaryDirectory,
                           QString name, CancelTokenPtr cancel, PieceSender send);

}  // namespace pm
