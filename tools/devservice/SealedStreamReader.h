#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace pm::dev {

// Opens a sealed "PMR1" stream (the part files of one uploaded file, in part order) one chunk at a time:
// header "PMR1" and the chunk size (32-bit big-endian), then records of nonce (12), tag (16) and
// ciphertext, each chunk but the last a full chunk, authenticated with its index (32-bit big-endian) and a
// last-chunk byte. So a download never holds more than one chunk, and a stream that was cut, extended,
// reordered or altered fails at the record where it stops being right.
class SealedStreamReader {
 public:
  SealedStreamReader(QStringList partFiles, QByteArray key);

  // Reads the header and works out the record layout from the stream's length. False (see failure()) when
  // the parts are missing or the stream cannot be a sealed stream.
  bool open();
  // The plaintext length, once open() succeeded.
  qint64 plainSize() const { return plainSize_; }
  bool atEnd() const { return next_ >= count_; }
  // The next chunk's plaintext; nothing (see failure()) when it does not open.
  std::optional<QByteArray> nextChunk();
  const QString& failure() const { return failure_; }

 private:
  bool read(char* into, qint64 length);

  QStringList partFiles_;
  QByteArray key_;
  qsizetype partIndex_ = 0;
  std::unique_ptr<QFile> part_;
  qint64 chunkSize_ = 0;
  qint64 count_ = 0;
  qint64 lastRecord_ = 0;
  qint64 plainSize_ = 0;
  qint64 next_ = 0;
  QString failure_;
};

}  // namespace pm::dev
