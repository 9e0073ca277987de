#include "StreamSealer.h"

#include <QFileInfo>

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "upload/SealedParts.h"

namespace pm {

namespace {

constexpr qint64 kRecordSpan = kSealedChunkSize + kSealedRecordOverhead;

}  // namespace

std::shared_ptr<StreamSealer> StreamSealer::open(const QString& sourcePath, qint64 expectedSize,
                                                 QByteArray key) {
  checkSealingKey(key);
  if (!QFileInfo(sourcePath).isFile()) throw UploadError::fileUnreadable();
  std::shared_ptr<StreamSealer> sealer(new StreamSealer(expectedSize, std::move(key)));
  sealer->source_.setFileName(sourcePath);
  if (!sealer->source_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) throw UploadError::fileUnreadable();
  // Taken from the open file, so the size checked and the bytes read belong to the same file.
  if (sealer->source_.size() != expectedSize) throw sealedFileChanged();
  return sealer;
}

StreamSealer::StreamSealer(qint64 size, QByteArray key)
    : size_(size),
      length_(sealedLength(size)),
      key_(std::move(key)),
      seals_(std::size_t(sealedChunkCount(size))) {}

qint64 StreamSealer::recordAt(qint64 offset) {
  return offset < kSealedHeaderSize ? -1 : (offset - kSealedHeaderSize) / kRecordSpan;
}

qint64 StreamSealer::recordOffset(qint64 record) {
  return record < 0 ? 0 : kSealedHeaderSize + record * kRecordSpan;
}

qint64 StreamSealer::recordEnd(qint64 record) const {
  if (record < 0) return kSealedHeaderSize;
  return recordOffset(record) + kSealedRecordOverhead +
         std::min(kSealedChunkSize, size_ - record * kSealedChunkSize);
}

void StreamSealer::keepForNextPart(qint64 index, const QByteArray& record) {
  constexpr std::size_t kKeptAtMost = 2;
  const std::lock_guard lock(mutex_);
  kept_.insert_or_assign(index, record);
  while (kept_.size() > kKeptAtMost) kept_.erase(kept_.begin());
}

bool StreamSealer::isKept(qint64 index) const {
  const std::lock_guard lock(mutex_);
  return kept_.contains(index);
}

std::optional<QByteArray> StreamSealer::takeKept(qint64 index) {
  const std::lock_guard lock(mutex_);
  const auto found = kept_.find(index);
  if (found == kept_.end()) return std::nullopt;
  QByteArray record = std::move(found->second);
  kept_.erase(found);
  return record;
}

QByteArray StreamSealer::sealRecord(qint64 index) {
  Q_ASSERT(index >= 0 && index < recordCount());
  try {
    const qint64 plainLength = std::min(kSealedChunkSize, size_ - index * kSealedChunkSize);
    const bool isLast = index == recordCount() - 1;
    QByteArray record(kSealedRecordOverhead + plainLength, Qt::Uninitialized);
    readChunk(index, record.data() + kSealedRecordOverhead, plainLength);
    const Nonce nonce = nonceFor(index);
    std::memcpy(record.data(), nonce.data(), nonce.size());
    sealChunkRecord(record, plainLength, key_, quint64(index), isLast);
    Tag tag;
    std::memcpy(tag.data(), record.constData() + nonce.size(), tag.size());
    if (!matchesEarlierSealing(index, tag)) throw sealedFileChanged();
    return record;
  } catch (const UploadError& error) {
    fail(error);
  }
}

void StreamSealer::readChunk(qint64 index, char* into, qint64 length) {
  const int handle = source_.handle();
  const qint64 offset = index * kSealedChunkSize;
  qint64 done = 0;
  while (done < length) {
    const ssize_t n = ::pread(handle, into + done, std::size_t(length - done), off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw UploadError::transport(qt_error_string(errno));
    if (n == 0) throw sealedFileChanged();  // shrank since it was announced
    done += n;
  }
  if (index == recordCount() - 1) {
    char probe = 0;
    ssize_t n = 0;
    do {
      n = ::pread(handle, &probe, 1, off_t(size_));
    } while (n < 0 && errno == EINTR);
    if (n != 0) throw sealedFileChanged();  // grew since it was announced
  }
}

StreamSealer::Nonce StreamSealer::nonceFor(qint64 index) {
  const std::lock_guard lock(mutex_);
  std::optional<Nonce>& nonce = seals_[std::size_t(index)].nonce;
  if (!nonce) {
    Nonce fresh;
    fillChunkNonce(fresh.data());
    nonce = fresh;
  }
  return *nonce;
}

bool StreamSealer::matchesEarlierSealing(qint64 index, const Tag& tag) {
  const std::lock_guard lock(mutex_);
  std::optional<Tag>& kept = seals_[std::size_t(index)].tag;
  if (!kept) kept = tag;
  return *kept == tag;
}

void StreamSealer::fail(const UploadError& error) {
  {
    const std::lock_guard lock(mutex_);
    if (!failure_) failure_ = error;
  }
  throw error;
}

std::optional<UploadError> StreamSealer::failure() const {
  const std::lock_guard lock(mutex_);
  return failure_;
}

}  // namespace pm
