#pragma once

#include <QByteArray>
#include <QIODevice>

#include <map>
#include <memory>
#include <optional>

#include "core/UploadError.h"

class QThreadPool;

namespace pm {

class StreamSealer;

// One part of a file's sealed stream, bytes [begin, begin + length), as a request body that seals while
// the network reads it: records are sealed on `pool` a few ahead of the reader and dropped once read, so
// the part needs no file on disk and at most three records of memory, and its first bytes leave before
// the rest is sealed. The record it shares with the next part and the one after it are left with the
// sealer, so the next part's body starts without waiting. A reader that stops reading stops the sealing;
// stopSealing() or destroying the device stops it within the records already under way.
//
// Random access (the network may rewind a body to send it again) by sealing the records again, which
// yields the same bytes (StreamSealer). A failed sealing ends the device: failed() is emitted (on the
// reading thread) and every later read fails; the failure itself is kept by the sealer.
//
// One thread reads it at a time, and it need not be the thread that made it: a transfer thread reads it
// through read(), seek() and waitForReadyRead(), which waits for the next sealed record, while
// stopSealing() may come from any thread. readyRead() is also emitted on the thread that made it, for a
// reader there that waits on its event loop; only while something follows it, since a transfer thread's
// reader does not, and waking the thread that made the device for every record would be for nothing.
class SealedPartDevice final : public QIODevice {
  Q_OBJECT

 public:
  SealedPartDevice(std::shared_ptr<StreamSealer> sealer, qint64 begin, qint64 length, QThreadPool& pool,
                   QObject* parent = nullptr);
  ~SealedPartDevice() override;

  bool isSequential() const override { return false; }
  qint64 size() const override { return length_; }
  bool seek(qint64 pos) override;
  // Waits until a sealed record (or the end of the sealing) arrives; false when none did in `msecs`.
  bool waitForReadyRead(int msecs) override;

 public Q_SLOTS:
  // For a body whose request has ended: seals nothing more (records under way still finish) and lets go
  // of what was sealed. Reads then fail. Safe from any thread.
  void stopSealing();

 Q_SIGNALS:
  void failed();

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 maxSize) override;
  void connectNotify(const QMetaMethod& signal) override;
  void disconnectNotify(const QMetaMethod& signal) override;

 private:
  struct Mailbox;
  struct Sealed {
    QByteArray record;
    std::optional<UploadError> failure;
  };

  void sealAhead();
  void startSealing(qint64 record);
  // Takes in what the sealings delivered since the last call.
  void collect();
  void recordSealed(quint64 generation, qint64 record, Sealed sealed);

  const std::shared_ptr<StreamSealer> sealer_;
  const qint64 begin_;
  const qint64 length_;
  QThreadPool& pool_;
  std::shared_ptr<Mailbox> mailbox_;

  // The reader's state, touched only by the thread that reads.
  qint64 next_;                           // the stream offset the next read starts at
  qint64 nextToSeal_ = 0;                 // the next record to ask for
  qint64 lastRecord_;                     // the record that holds the part's last byte
  qint64 lastToSeal_;                     // one record more, sealed ahead for the part that follows
  int sealing_ = 0;                       // records under way
  quint64 generation_ = 0;                // counts rewinds; records sealed for an earlier one are dropped
  std::map<qint64, QByteArray> records_;  // sealed and not yet read through
  bool failed_ = false;
  bool stopped_ = false;
};

}  // namespace pm
