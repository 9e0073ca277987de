#include "SealedStreamReader.h"

#include <QFileInfo>
#include <QtEndian>

#include "platform/Crypto.h"

namespace pm::dev {

namespace {

constexpr qint64 kHeaderSize = 8;
constexpr qint64 kRecordOverhead = crypto::kGcmNonceBytes + crypto::kGcmTagBytes;
// A header naming a larger chunk is not one this service would hold in memory.
constexpr qint64 kLargestChunk = 64 * 1024 * 1024;

}  // namespace

SealedStreamReader::SealedStreamReader(QStringList partFiles, QByteArray key)
    : partFiles_(std::move(partFiles)), key_(std::move(key)) {}

bool SealedStreamReader::open() {
  qint64 total = 0;
  for (const QString& file : partFiles_) {
    const QFileInfo info(file);
    if (!info.isFile()) {
      failure_ = QStringLiteral("a part is missing");
      return false;
    }
    total += info.size();
  }
  char header[kHeaderSize];
  if (key_.size() != crypto::kAesKeyBytes || total < kHeaderSize + kRecordOverhead ||
      !read(header, kHeaderSize) || QByteArray(header, 4) != "PMR1") {
    failure_ = QStringLiteral("not a sealed stream");
    return false;
  }
  chunkSize_ = qFromBigEndian<quint32>(header + 4);
  if (chunkSize_ <= 0 || chunkSize_ > kLargestChunk) {
    failure_ = QStringLiteral("a chunk size no writer uses");
    return false;
  }
  const qint64 records = total - kHeaderSize;
  const qint64 fullRecord = chunkSize_ + kRecordOverhead;
  count_ = std::max<qint64>((records + fullRecord - 1) / fullRecord, 1);
  lastRecord_ = records - (count_ - 1) * fullRecord;
  plainSize_ = records - count_ * kRecordOverhead;
  if (lastRecord_ < kRecordOverhead) {
    failure_ = QStringLiteral("the stream is cut off");
    return false;
  }
  return true;
}

std::optional<QByteArray> SealedStreamReader::nextChunk() {
  if (atEnd() || !failure_.isEmpty()) return std::nullopt;
  const bool last = next_ == count_ - 1;
  const qint64 recordSize = last ? lastRecord_ : chunkSize_ + kRecordOverhead;
  QByteArray record(recordSize, Qt::Uninitialized);
  if (!read(record.data(), recordSize)) {
    failure_ = QStringLiteral("a part cannot be read");
    return std::nullopt;
  }
  QByteArray aad(5, '\0');
  qToBigEndian<quint32>(quint32(next_), aad.data());
  aad[4] = last ? '\1' : '\0';
  const auto* bytes = reinterpret_cast<const unsigned char*>(record.constData());
  QByteArray plain(recordSize - kRecordOverhead, Qt::Uninitialized);
  if (!crypto::aesGcmOpen(key_, bytes, bytes + kRecordOverhead, plain.size(), aad,
                          bytes + crypto::kGcmNonceBytes, reinterpret_cast<unsigned char*>(plain.data()))) {
    failure_ = QStringLiteral("chunk %1 does not open under the bucket key").arg(next_);
    return std::nullopt;
  }
  ++next_;
  return plain;
}

bool SealedStreamReader::read(char* into, qint64 length) {
  while (length > 0) {
    if (!part_ || part_->atEnd()) {
      if (partIndex_ >= partFiles_.size()) return false;
      part_ = std::make_unique<QFile>(partFiles_.at(partIndex_++));
      if (!part_->open(QIODevice::ReadOnly)) return false;
      continue;
    }
    const qint64 got = part_->read(into, length);
    if (got < 0) return false;
    into += got;
    length -= got;
  }
  return true;
}

}  // namespace pm::dev
