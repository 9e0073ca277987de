#include "PiecedSending.h"

#include <QFile>

#include <algorithm>
#include <exception>
#include <memory>

#include "connectors/FileChunkCopy.h"
#include "connectors/PieceFile.h"
#include "connectors/PieceFolder.h"
#include "core/UploadError.h"

namespace pm {

QCoro::Task<> sendInPieces(QString file, qint64 size, qint64 pieceSize, QString temporaryDirectory,
                           QString name, CancelTokenPtr cancel, PieceSender send) {
  const auto source = std::make_shared<QFile>(file);
  if (!source->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) throw UploadError::fileUnreadable();
  const PieceFolder folder(temporaryDirectory);
  // Shared with the copies, which may still run on a worker when this coroutine is destroyed.
  const std::shared_ptr<PieceFile> pieces[] = {
      std::make_shared<PieceFile>(folder.filePath(name + QStringLiteral("-1"))),
      std::make_shared<PieceFile>(folder.filePath(name + QStringLiteral("-2")))};

  QCoro::Task<> copying = copyFileChunkOnWorker(source, 0, std::min(size, pieceSize), pieces[0]);
  for (qint64 offset = 0, index = 0; offset < size; ++index) {
    co_await std::move(copying);
    const qint64 length = std::min(size - offset, pieceSize);
    const qint64 next = offset + length;
    if (next < size)
      copying =
          copyFileChunkOnWorker(source, next, std::min(size - next, pieceSize), pieces[(index + 1) % 2]);

    std::exception_ptr failure;
    if (cancel && cancel->isCancelled()) {
      failure = std::make_exception_ptr(UploadError::cancelled());
    } else {
      try {
        QCoro::Task<> sending = send(pieces[index % 2]->path(), ByteRange{offset, length, size});
        co_await std::move(sending);
      } catch (...) {
        failure = std::current_exception();
      }
    }
    if (failure) {
      // The copy still running writes into the folder: it stays until the copy is done.
      if (next < size) {
        try {
          co_await std::move(copying);
        } catch (...) {
        }
      }
      std::rethrow_exception(failure);
    }
    offset = next;
  }
}

}  // namespace pm
