#include "ArrivingFiles.h"

#include <algorithm>

namespace pm {

qsizetype ArrivingFiles::size() const {
  qsizetype total = 0;
  for (const Batch& batch : batches_) total += batch.urls.size() - batch.taken;
  return total;
}

QStringList ArrivingFiles::all() const {
  QStringList remaining;
  remaining.reserve(size());
  for (const Batch& batch : batches_) remaining.append(batch.urls.sliced(batch.taken));
  return remaining;
}

QStringList ArrivingFiles::front(qsizetype count) const {
  QStringList slice;
  for (auto batch = batches_.cbegin(); batch != batches_.cend() && slice.size() < count; ++batch)
    slice.append(batch->urls.sliced(batch->taken, std::min(count - slice.size(), batch->urls.size() - batch->taken)));
  return slice;
}

void ArrivingFiles::append(const QStringList& urls) {
  if (!urls.isEmpty()) batches_.append(Batch{urls, 0});
}

QStringList ArrivingFiles::take(qsizetype count) {
  QStringList slice;
  while (slice.size() < count && !batches_.isEmpty()) {
    Batch& batch = batches_.first();
    const qsizetype from = std::min(count - slice.size(), batch.urls.size() - batch.taken);
    slice.append(batch.urls.sliced(batch.taken, from));
    batch.taken += from;
    if (batch.taken == batch.urls.size()) {
      batches_.removeFirst();
    } else if (batch.urls.isDetached()) {
      // Ours alone: dropping the front costs only what is dropped, and the room goes as the batch enters.
      batch.urls.remove(0, batch.taken);
      batch.taken = 0;
    }
  }
  return slice;
}

}  // namespace pm
