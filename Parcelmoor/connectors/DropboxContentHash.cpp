#include "DropboxContentHash.h"

#include <QFile>

#include <algorithm>

namespace pm {

DropboxContentHash::DropboxContentHash() : block_(QCryptographicHash::Sha256) {}

void DropboxContentHash::addData(QByteArrayView bytes) {
  while (!bytes.isEmpty()) {
    const qsizetype take = qsizetype(std::min<qint64>(bytes.size(), kBlockSize - inBlock_));
    block_.addData(bytes.first(take));
    inBlock_ += take;
    bytes = bytes.sliced(take);
    if (inBlock_ == kBlockSize) {
      digests_ += block_.result();
      block_.reset();
      inBlock_ = 0;
    }
  }
}

QString DropboxContentHash::hex() const {
  QByteArray all = digests_;
  // A partly filled block counts; an empty one only starts when a byte arrives.
  if (inBlock_ > 0) all += block_.result();
  return QString::fromLatin1(QCryptographicHash::hash(all, QCryptographicHash::Sha256).toHex());
}

std::optional<QString> DropboxContentHash::ofFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  DropboxContentHash hash;
  QByteArray buffer(1 << 20, Qt::Uninitialized);
  for (;;) {
    const qint64 read = file.read(buffer.data(), buffer.size());
    if (read < 0) return std::nullopt;
    if (read == 0) break;
    hash.addData(QByteArrayView(buffer.constData(), read));
  }
  return hash.hex();
}

}  // namespace pm
