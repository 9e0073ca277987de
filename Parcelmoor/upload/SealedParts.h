#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <memory>
#include <optional>

#include "core/UploadError.h"

class QFile;
class QIODevice;

// Files for the product's own service travel sealed, in the "PMR1" stream format:
//
//   "PMR1" | chunk size (u32, big-endian) | record 0 | record 1 | ...
//   record = nonce (12) | tag (16) | AES-256-GCM ciphertext of one chunk
//
// Every chunk but the last holds exactly one chunk size of plaintext, so records need no length field.
// Each record authenticates its index and whether it is the last one, so records cannot be dropped,
// reordered or cut off unnoticed. The stream is stored as numbered part files, one per upload URL.
namespace pm {

inline constexpr qint64 kSealedChunkSize = 4'194'304;
// Nonce and tag in front of every chunk's ciphertext.
inline constexpr qint64 kSealedRecordOverhead = 28;
inline constexpr qint64 kSealedHeaderSize = 8;

// "PMR1" as ASCII bytes.
const QByteArray& partMagic();
// The magic followed by `chunkSize` as an unsigned 32-bit big-endian integer.
QByteArray sealedStreamHeader(quint32 chunkSize);
// The 5 bytes each chunk authenticates: the low 32 bits of its index, big-endian, then 0x01 for the last
// chunk of the file and 0x00 for any other.
QByteArray chunkAuthenticationData(quint64 index, bool isLast);

// An empty file still seals into one (empty) chunk.
qint64 sealedChunkCount(qint64 plainSize);
// The exact size of the sealed stream of a file of `plainSize` bytes; announced before sealing.
qint64 sealedLength(qint64 plainSize);

// The rejection of a file whose bytes are not the ones its sealed length was announced for.
UploadError sealedFileChanged();
// Throws unless `key` can seal: 32 bytes, not all zero (what a failed random source would have left).
void checkSealingKey(const QByteArray& key);
// Puts 12 fresh random bytes at `nonce`; throws when the system's random source fails.
void fillChunkNonce(unsigned char* nonce);
// Seals one record in place: `record` holds the nonce in its first 12 bytes, room for the tag, then
// `plainLength` bytes of chunk `index`, which become its ciphertext.
void sealChunkRecord(QByteArray& record, qint64 plainLength, const QByteArray& key, quint64 index,
                     bool isLast);

// Cuts one byte stream into the files "part-1", "part-2", ... in `directory`, each `limit` bytes but the
// last. A file is opened only when bytes wait for it, so no part is ever empty. A writer destroyed before
// finish() succeeded removes the parts it made: a failed sealing leaves no partial stream behind.
class PartWriter {
 public:
  // A limit below 1 counts as 1.
  PartWriter(QString directory, qint64 limit);
  ~PartWriter();
  PartWriter(const PartWriter&) = delete;
  PartWriter& operator=(const PartWriter&) = delete;

  void write(QByteArrayView bytes);
  // Closes the open part; from then on the parts belong to the caller.
  void finish();
  const QStringList& files() const { return files_; }

 private:
  QFile& currentHandle();
  void closeCurrent();

  QString directory_;
  qint64 limit_;
  std::unique_ptr<QFile> handle_;
  qint64 written_ = 0;
  QStringList files_;
  bool finished_ = false;
};

// Seals `size` bytes of `source` under the 256-bit `key` into `writer`. The source must yield exactly
// `size` bytes: one that ends early or holds more fails with the "file changed" rejection instead of
// producing a stream of another length than the one announced.
void sealStream(QIODevice& source, qint64 size, const QByteArray& key, PartWriter& writer);

// Seals the file at `sourcePath` into part files of at most `limit` bytes in `directory` (created when
// missing) and returns them in order. When `expectedSize` is given, a file of any other size is rejected
// as changed. Blocking and CPU-heavy, with one chunk in memory at a time; it touches no object of the
// calling thread, so it may run on any thread. Throws UploadError; on failure no part file is left.
QStringList writeSealedParts(const QString& sourcePath, const QByteArray& key, const QString& directory,
                             qint64 limit, std::optional<qint64> expectedSize = std::nullopt);

// writeSealedParts on the sealing pool, awaited from the calling thread; a failure arrives as the
// same UploadError.
QCoro::Task<QStringList> writeSealedPartsInBackground(QString sourcePath, QByteArray key, QString directory,
                                                      qint64 limit,
                                                      std::optional<qint64> expectedSize = std::nullopt);

}  // namespace pm
