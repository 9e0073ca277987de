#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/UploadError.h"

namespace pm {

// Seals one file into its "PMR1" stream a record at a time, in any order and as often as asked, so that
// the stream can be sent straight from the file without a sealed copy on disk: a reader cuts the bytes it
// needs out of the records it asks for.
//
// Every record is made from the file under the nonce its chunk got the first time, so sealing a record
// again (the record that two parts share, or a part that is sent again) yields the very same bytes. A
// record that comes out different, because the file changed in between, fails with the "file changed"
// rejection and is never handed out, so no nonce ever covers two different plaintexts on the wire.
//
// sealRecord() may run on several threads at once; everything else is fixed at opening.
class StreamSealer {
 public:
  // Opens the file at `sourcePath` for sealing under `key`. Throws `fileUnreadable` when it is not a
  // readable file, the "file changed" rejection when its size is not `expectedSize`, and the key's
  // failure when the key cannot seal.
  static std::shared_ptr<StreamSealer> open(const QString& sourcePath, qint64 expectedSize, QByteArray key);

  StreamSealer(const StreamSealer&) = delete;
  StreamSealer& operator=(const StreamSealer&) = delete;

  // The length of the whole stream.
  qint64 length() const { return length_; }
  qint64 recordCount() const { return std::ssize(seals_); }

  // The record (or, for -1, the header) that holds byte `offset` of the stream, where it starts, and
  // where the next one starts.
  static qint64 recordAt(qint64 offset);
  static qint64 recordOffset(qint64 record);
  qint64 recordEnd(qint64 record) const;

  // Reads chunk `index` and seals it into its record. Blocking and CPU-heavy. Throws UploadError: the
  // "file changed" rejection when the file no longer holds the bytes of its announced size or the record
  // differs from an earlier sealing of it, a read error, or a failure of the random source or cipher.
  QByteArray sealRecord(qint64 index);

  // Records sealed for the part that follows the one that sealed them (the record two parts share, the
  // first record of the next part), so that the next part starts at once and nothing is sealed twice.
  // Holds two at most, the lowest going first.
  void keepForNextPart(qint64 index, const QByteArray& record);
  bool isKept(qint64 index) const;
  std::optional<QByteArray> takeKept(qint64 index);

  // The first failure of any sealing, kept so that the one who sent the stream reports the cause instead
  // of the broken transfer it led to.
  std::optional<UploadError> failure() const;

 private:
  using Nonce = std::array<unsigned char, 12>;
  using Tag = std::array<unsigned char, 16>;
  struct Seal {
    std::optional<Nonce> nonce;
    std::optional<Tag> tag;
  };

  StreamSealer(qint64 size, QByteArray key);
  void readChunk(qint64 index, char* into, qint64 length);
  // The nonce of chunk `index`, drawn on its first sealing.
  Nonce nonceFor(qint64 index);
  // Keeps the tag of the first sealing of chunk `index`; false when an earlier one differs.
  bool matchesEarlierSealing(qint64 index, const Tag& tag);
  [[noreturn]] void fail(const UploadError& error);

  QFile source_;
  const qint64 size_;
  const qint64 length_;
  const QByteArray key_;

  mutable std::mutex mutex_;
  std::vector<Seal> seals_;
  std::map<qint64, QByteArray> kept_;
  std::optional<UploadError> failure_;
};

}  // namespace pm
