#include "SealedPartDevice.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "upload/SealedParts.h"
#include "upload/StreamSealer.h"

namespace pm {

namespace {

// Records sealed or under way ahead of the reader, and how many of them seal at the same time: enough
// for the cipher to keep ahead of a fast network without holding more than a few chunks.
constexpr qint64 kRecordsAhead = 3;
constexpr int kSealingsAtOnce = 2;

}  // namespace

// Where a sealing on the pool delivers its record: the device while it lives, nobody afterwards. The reader
// takes the deliveries in on its own thread; the lock keeps the device from going away while a delivery
// is being made.
struct SealedPartDevice::Mailbox {
  struct Delivery {
    quint64 generation;
    qint64 record;
    Sealed sealed;
  };

  std::mutex mutex;
  std::condition_variable arrived;
  SealedPartDevice* device = nullptr;
  std::vector<Delivery> deliveries;
  bool stopped = false;
  int readyReadFollowers = 0;  // connections to the device's readyRead()
};

SealedPartDevice::SealedPartDevice(std::shared_ptr<StreamSealer> sealer, qint64 begin, qint64 length,
                                   QThreadPool& pool, QObject* parent)
    : QIODevice(parent),
      sealer_(std::move(sealer)),
      begin_(begin),
      length_(std::max<qint64>(length, 0)),
      pool_(pool),
      mailbox_(std::make_shared<Mailbox>()),
      next_(begin),
      lastRecord_(length_ > 0 ? StreamSealer::recordAt(begin + length_ - 1) : -1),
      lastToSeal_(length_ > 0 ? std::min(lastRecord_ + 1, sealer_->recordCount() - 1) : -1) {
  mailbox_->device = this;
  QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
  seek(0);
}

SealedPartDevice::~SealedPartDevice() {
  const std::lock_guard lock(mailbox_->mutex);
  mailbox_->device = nullptr;
}

bool SealedPartDevice::seek(qint64 pos) {
  if (pos < 0 || pos > length_ || !QIODevice::seek(pos)) return false;
  next_ = begin_ + pos;
  ++generation_;
  sealing_ = 0;
  records_.clear();
  nextToSeal_ = std::max<qint64>(StreamSealer::recordAt(next_), 0);
  sealAhead();
  return true;
}

bool SealedPartDevice::waitForReadyRead(int msecs) {
  std::unique_lock lock(mailbox_->mutex);
  return mailbox_->arrived.wait_for(lock, std::chrono::milliseconds(std::max(msecs, 0)),
                                    [this] { return !mailbox_->deliveries.empty() || mailbox_->stopped; });
}

qint64 SealedPartDevice::readData(char* data, qint64 maxSize) {
  collect();
  if (stopped_ && !failed_) setErrorString(tr("The upload of this part was stopped."));
  if (failed_ || stopped_) return -1;
  const qint64 end = begin_ + length_;
  static const QByteArray header = sealedStreamHeader(quint32(kSealedChunkSize));
  qint64 copied = 0;
  while (copied < maxSize && next_ < end) {
    const qint64 record = StreamSealer::recordAt(next_);
    const auto found = records_.find(record);
    if (record >= 0 && found == records_.end()) break;  // not sealed yet: readyRead() follows
    const QByteArray& bytes = record < 0 ? header : found->second;
    const qint64 from = next_ - StreamSealer::recordOffset(record);
    const qint64 take = std::min({maxSize - copied, qint64(bytes.size()) - from, end - next_});
    std::memcpy(data + copied, bytes.constData() + from, std::size_t(take));
    copied += take;
    next_ += take;
    if (record >= 0 && (from + take == bytes.size() || next_ == end)) records_.erase(found);
  }
  sealAhead();
  return copied;
}

qint64 SealedPartDevice::writeData(const char* /*data*/, qint64 /*maxSize*/) {
  return -1;
}

void SealedPartDevice::connectNotify(const QMetaMethod& signal) {
  if (signal != QMetaMethod::fromSignal(&QIODevice::readyRead)) return;
  const std::lock_guard lock(mailbox_->mutex);
  ++mailbox_->readyReadFollowers;
}

void SealedPartDevice::disconnectNotify(const QMetaMethod& signal) {
  // An invalid method: every connection of the device went at once.
  if (signal.isValid() && signal != QMetaMethod::fromSignal(&QIODevice::readyRead)) return;
  const std::lock_guard lock(mailbox_->mutex);
  mailbox_->readyReadFollowers = signal.isValid() ? std::max(mailbox_->readyReadFollowers - 1, 0) : 0;
}

void SealedPartDevice::stopSealing() {
  {
    const std::lock_guard lock(mailbox_->mutex);
    mailbox_->stopped = true;
  }
  mailbox_->arrived.notify_all();
}

void SealedPartDevice::collect() {
  std::vector<Mailbox::Delivery> deliveries;
  {
    const std::lock_guard lock(mailbox_->mutex);
    deliveries.swap(mailbox_->deliveries);
    stopped_ = mailbox_->stopped;
  }
  if (stopped_) records_.clear();
  for (Mailbox::Delivery& delivery : deliveries)
    recordSealed(delivery.generation, delivery.record, std::move(delivery.sealed));
}

void SealedPartDevice::sealAhead() {
  bool arrived = false;
  while (!failed_ && !stopped_ && sealing_ < kSealingsAtOnce &&
         qint64(records_.size()) + sealing_ < kRecordsAhead && nextToSeal_ <= lastToSeal_) {
    const qint64 record = nextToSeal_++;
    if (record > lastRecord_) {
      if (!sealer_->isKept(record)) startSealing(record);
    } else if (std::optional<QByteArray> kept = sealer_->takeKept(record)) {
      records_.emplace(record, *std::move(kept));
      arrived = true;
    } else {
      startSealing(record);
    }
  }
  if (arrived) Q_EMIT readyRead();
}

void SealedPartDevice::startSealing(qint64 record) {
  ++sealing_;
  // A record that reaches past the part's end is also wanted by the next part.
  const bool forNextPart = sealer_->recordEnd(record) > begin_ + length_;
  pool_.start([sealer = sealer_, mailbox = mailbox_, generation = generation_, record, forNextPart] {
    {
      // The device went away or was stopped while this waited for a thread (the reader may start a
      // sealing before it learns of the stop): nothing wants the record any more.
      const std::lock_guard lock(mailbox->mutex);
      if (!mailbox->device || mailbox->stopped) return;
    }
    Sealed sealed;
    try {
      sealed.record = sealer->sealRecord(record);
      if (forNextPart) sealer->keepForNextPart(record, sealed.record);
    } catch (...) {
      sealed.failure = UploadError::from(std::current_exception());
    }
    {
      const std::lock_guard lock(mailbox->mutex);
      SealedPartDevice* device = mailbox->device;
      if (!device) return;
      mailbox->deliveries.push_back({generation, record, std::move(sealed)});
      // For a reader on the device's own thread that waits on its event loop rather than in
      // waitForReadyRead(); dropped unread if the device goes away first.
      if (mailbox->readyReadFollowers > 0)
        QMetaObject::invokeMethod(device, [device] { Q_EMIT device->readyRead(); }, Qt::QueuedConnection);
    }
    mailbox->arrived.notify_all();
  });
}

void SealedPartDevice::recordSealed(quint64 generation, qint64 record, Sealed sealed) {
  if (generation != generation_ || failed_ || stopped_) return;
  --sealing_;
  if (sealed.failure) {
    failed_ = true;
    records_.clear();
    setErrorString(sealed.failure->message());
    Q_EMIT failed();
    return;
  }
  // A record past the part's end waits with the sealer for the next part.
  if (record <= lastRecord_) records_.emplace(record, std::move(sealed.record));
  sealAhead();
}

}  // namespace pm
