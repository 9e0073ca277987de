#include "SealedParts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <future>

#include "core/UploadError.h"
#include "platform/Async.h"
#include "platform/Crypto.h"

namespace pm {

namespace {

UploadError noRoom() {
  return UploadError::transport(
      QCoreApplication::translate("SealedParts", "There was no room to prepare this file."));
}

// Taken from errno right after the failed call (cleared before it): a write that runs into a full disk,
// a quota or a file size limit stops short and Qt names no cause ("Unknown error"), yet the user should
// hear that space ran out.
UploadError writeFailure() {
  const int cause = errno;
  if (cause == 0 || cause == ENOSPC || cause == EDQUOT || cause == EFBIG) return noRoom();
  return UploadError::transport(qt_error_string(cause));
}

bool isAllZero(QByteArrayView bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char byte) { return byte == 0; });
}

// Reads until `length` bytes are in or the source ends; returns how many arrived.
qint64 readUpTo(QIODevice& source, char* into, qint64 length) {
  qint64 total = 0;
  while (total < length) {
    const qint64 n = source.read(into + total, length - total);
    if (n < 0) throw UploadError::transport(source.errorString());
    if (n == 0) break;
    total += n;
  }
  return total;
}

void readExactly(QIODevice& source, char* into, qint64 length) {
  if (readUpTo(source, into, length) != length) throw sealedFileChanged();
}

void expectEnd(QIODevice& source) {
  char probe = 0;
  if (readUpTo(source, &probe, 1) != 0) throw sealedFileChanged();
}

// Seals the chunk behind a fresh nonce and returns the whole record.
QByteArrayView sealRecord(QByteArray& record, qint64 plainLength, const QByteArray& key, quint64 index,
                          bool isLast) {
  fillChunkNonce(reinterpret_cast<unsigned char*>(record.data()));
  sealChunkRecord(record, plainLength, key, index, isLast);
  return QByteArrayView(record).first(kSealedRecordOverhead + plainLength);
}

}  // namespace

const QByteArray& partMagic() {
  static const QByteArray magic = QByteArrayLiteral("PMR1");
  return magic;
}

QByteArray sealedStreamHeader(quint32 chunkSize) {
  QByteArray header = partMagic();
  header.resize(kSealedHeaderSize);
  qToBigEndian(chunkSize, header.data() + partMagic().size());
  return header;
}

QByteArray chunkAuthenticationData(quint64 index, bool isLast) {
  QByteArray aad(5, Qt::Uninitialized);
  qToBigEndian(quint32(index & 0xFFFF'FFFFu), aad.data());
  aad[4] = isLast ? '\x01' : '\x00';
  return aad;
}

qint64 sealedChunkCount(qint64 plainSize) {
  const qint64 size = std::max<qint64>(plainSize, 0);
  return std::max<qint64>(size / kSealedChunkSize + (size % kSealedChunkSize != 0 ? 1 : 0), 1);
}

qint64 sealedLength(qint64 plainSize) {
  return std::max<qint64>(plainSize, 0) + kSealedHeaderSize +
         kSealedRecordOverhead * sealedChunkCount(plainSize);
}

UploadError sealedFileChanged() {
  return UploadError::rejected(
      QCoreApplication::translate("SealedParts", "This file changed while it was being uploaded."));
}

void checkSealingKey(const QByteArray& key) {
  if (key.size() != crypto::kAesKeyBytes || isAllZero(key))
    throw UploadError::transport(
        QCoreApplication::translate("SealedParts", "The encryption key for this upload is not valid."));
}

void fillChunkNonce(unsigned char* nonce) {
  if (!crypto::fillRandom(nonce, crypto::kGcmNonceBytes) ||
      isAllZero(QByteArrayView(nonce, crypto::kGcmNonceBytes)))
    throw UploadError::transport(QCoreApplication::translate(
        "SealedParts", "The system's random number source failed, so this file was not encrypted."));
}

void sealChunkRecord(QByteArray& record, qint64 plainLength, const QByteArray& key, quint64 index,
                     bool isLast) {
  auto* bytes = reinterpret_cast<unsigned char*>(record.data());
  unsigned char* chunk = bytes + kSealedRecordOverhead;
  if (!crypto::aesGcmSeal(key, bytes, chunk, plainLength, chunkAuthenticationData(index, isLast), chunk,
                          bytes + crypto::kGcmNonceBytes))
    throw UploadError::transport(
        QCoreApplication::translate("SealedParts", "This file could not be encrypted."));
}

PartWriter::PartWriter(QString directory, qint64 limit)
    : directory_(std::move(directory)), limit_(std::max<qint64>(limit, 1)) {}

PartWriter::~PartWriter() {
  if (finished_) return;
  handle_.reset();
  for (const QString& file : std::as_const(files_)) QFile::remove(file);
}

void PartWriter::write(QByteArrayView bytes) {
  while (!bytes.isEmpty()) {
    QFile& file = currentHandle();
    const qint64 take = std::min<qint64>(bytes.size(), limit_ - written_);
    errno = 0;
    if (file.write(bytes.data(), take) != take) throw writeFailure();
    written_ += take;
    bytes = bytes.sliced(take);
    if (written_ == limit_) closeCurrent();
  }
}

void PartWriter::finish() {
  closeCurrent();
  finished_ = true;
}

QFile& PartWriter::currentHandle() {
  if (handle_) return *handle_;
  const QString path = QDir(directory_).filePath(QStringLiteral("part-%1").arg(files_.size() + 1));
  auto file = std::make_unique<QFile>(path);
  if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) throw noRoom();
  files_.append(path);
  written_ = 0;
  handle_ = std::move(file);
  return *handle_;
}

void PartWriter::closeCurrent() {
  if (!handle_) return;
  const std::unique_ptr<QFile> file = std::move(handle_);
  errno = 0;
  file->close();
  if (file->error() != QFileDevice::NoError) throw writeFailure();
}

void sealStream(QIODevice& source, qint64 size, const QByteArray& key, PartWriter& writer) {
  checkSealingKey(key);
  writer.write(sealedStreamHeader(quint32(kSealedChunkSize)));
  const qint64 count = sealedChunkCount(size);
  // Two records take turns: while one is encrypted on a helper thread, the other is written out and
  // refilled here, so the cipher and the file system work at the same time.
  const qint64 capacity = kSealedRecordOverhead + std::min(size, kSealedChunkSize);
  std::array<QByteArray, 2> records{QByteArray(capacity, Qt::Uninitialized),
                                    QByteArray(count > 1 ? capacity : 0, Qt::Uninitialized)};
  std::future<QByteArrayView> previous;
  qint64 remaining = size;
  for (qint64 index = 0; index < count; ++index) {
    QByteArray& record = records[index % 2];
    const qint64 plainLength = std::min(remaining, kSealedChunkSize);
    remaining -= plainLength;
    readExactly(source, record.data() + kSealedRecordOverhead, plainLength);
    std::future<QByteArrayView> sealing =
        std::async(std::launch::async, [&record, &key, plainLength, index, isLast = index == count - 1] {
          return sealRecord(record, plainLength, key, quint64(index), isLast);
        });
    if (previous.valid()) writer.write(previous.get());
    previous = std::move(sealing);
  }
  writer.write(previous.get());
  expectEnd(source);
}

QStringList writeSealedParts(const QString& sourcePath, const QByteArray& key, const QString& directory,
                             qint64 limit, std::optional<qint64> expectedSize) {
  if (!QFileInfo(sourcePath).isFile()) throw UploadError::fileUnreadable();
  QFile source(sourcePath);
  if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) throw UploadError::fileUnreadable();
  // Taken from the open file, so the size and the bytes read belong to the same file.
  const qint64 size = source.size();
  if (expectedSize && *expectedSize != size) throw sealedFileChanged();
  if (!QDir().mkpath(directory))
    throw UploadError::transport(QCoreApplication::translate(
        "SealedParts", "The folder for this file's encrypted parts could not be created."));
  PartWriter writer(directory, limit);
  sealStream(source, size, key, writer);
  writer.finish();
  return writer.files();
}

QCoro::Task<QStringList> writeSealedPartsInBackground(QString sourcePath, QByteArray key, QString directory,
                                                      qint64 limit, std::optional<qint64> expectedSize) {
  auto sealing = [=] { return writeSealedParts(sourcePath, key, directory, limit, expectedSize); };
  co_return co_await runOnWorker(sealingPool(), std::move(sealing));
}

}  // namespace pm
