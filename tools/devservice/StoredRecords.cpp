#include "StoredRecords.h"

#include <algorithm>

namespace pm::dev {

namespace {

constexpr qint64 kChunkSize = 4'194'304;
constexpr qint64 kRecordOverhead = 28;
constexpr qint64 kHeaderSize = 8;

}  // namespace

bool StoredFile::isComplete() const {
  if (withdrawn || etags.size() != partCount) return false;
  return !partSize || confirmed;
}

qint64 StoredFile::plainSize() const {
  const qint64 records = size - kHeaderSize;
  const qint64 count =
      std::max<qint64>((records + kChunkSize + kRecordOverhead - 1) / (kChunkSize + kRecordOverhead), 1);
  return std::max<qint64>(records - kRecordOverhead * count, 0);
}

}  // namespace pm::dev
