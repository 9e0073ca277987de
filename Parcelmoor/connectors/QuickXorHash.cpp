#include "QuickXorHash.h"

#include <QFile>

#include <algorithm>

namespace pm {

namespace {

constexpr int kCellBits = 64;
// The ring is two full cells and 32 bits of a third.
constexpr int kLastCellBits = QuickXorHash::kWidthInBits % kCellBits;
constexpr qint64 kReadSize = 1 << 20;

}  // namespace

void QuickXorHash::addData(QByteArrayView bytes) {
  const auto* data = reinterpret_cast<const quint8*>(bytes.data());
  const qsizetype size = bytes.size();
  int cell = shiftSoFar_ / kCellBits;
  int offset = shiftSoFar_ % kCellBits;
  // Bytes kWidthInBits apart land on the same bit position, so each position's bytes are XORed together
  // first and placed once.
  const qsizetype positions = std::min<qsizetype>(size, kWidthInBits);
  for (qsizetype i = 0; i < positions; ++i) {
    const bool lastCell = cell == int(cells_.size()) - 1;
    const int cellBits = lastCell ? kLastCellBits : kCellBits;
    quint64 folded = 0;
    for (qsizetype j = i; j < size; j += kWidthInBits) folded ^= data[j];
    if (offset <= cellBits - 8) {
      cells_[size_t(cell)] ^= folded << offset;
    } else {
      // The byte straddles two cells; the last cell wraps round to the first.
      cells_[size_t(cell)] ^= folded << offset;
      cells_[lastCell ? 0 : size_t(cell) + 1] ^= folded >> (cellBits - offset);
    }
    offset += kShift;
    if (offset >= cellBits) {
      cell = lastCell ? 0 : cell + 1;
      offset -= cellBits;
    }
  }
  shiftSoFar_ = int((shiftSoFar_ + qint64(kShift) * (size % kWidthInBits)) % kWidthInBits);
  length_ += quint64(size);
}

QByteArray QuickXorHash::result() const {
  QByteArray out(kWidthInBits / 8, '\0');
  for (int i = 0; i < out.size(); ++i) {
    const quint64 cell = cells_[size_t(i / 8)];
    out[i] = char((cell >> (8 * (i % 8))) & 0xff);
  }
  // The length, little-endian, goes over the last 8 bytes.
  const qsizetype lengthAt = out.size() - 8;
  for (int i = 0; i < 8; ++i) out[lengthAt + i] = char(quint8(out[lengthAt + i]) ^ ((length_ >> (8 * i)) & 0xff));
  return out;
}

std::optional<QString> QuickXorHash::ofFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QuickXorHash hash;
  QByteArray buffer(kReadSize, Qt::Uninitialized);
  for (;;) {
    const qint64 read = file.read(buffer.data(), buffer.size());
    if (read < 0) return std::nullopt;
    if (read == 0) break;
    hash.addData(QByteArrayView(buffer.constData(), read));
  }
  return hash.base64();
}

}  // namespace pm
