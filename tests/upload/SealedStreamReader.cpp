#include "SealedStreamReader.h"

#include <QFile>

#include "platform/Crypto.h"

namespace pm::test {

namespace {

constexpr qint64 kHeaderBytes = 8;
constexpr qint64 kNonceBytes = 12;
constexpr qint64 kTagBytes = 16;
constexpr qint64 kRecordOverhead = kNonceBytes + kTagBytes;

quint32 bigEndian32(const QByteArray& bytes, qint64 at) {
  quint32 value = 0;
  for (qint64 i = 0; i < 4; ++i) value = (value << 8) | quint8(bytes[at + i]);
  return value;
}

QByteArray associatedData(qint64 index, bool isLast) {
  const auto low = quint32(quint64(index) & 0xFFFFFFFFu);
  QByteArray aad;
  for (int shift = 24; shift >= 0; shift -= 8) aad.append(char((low >> shift) & 0xFF));
  aad.append(isLast ? char(1) : char(0));
  return aad;
}

// The plaintext sizes of the records: all full but the last, which holds 0 to one chunk. Empty when the
// body length fits no such layout.
QList<qint64> chunkLengths(qint64 bodyLength, qint64 chunkSize) {
  const qint64 fullRecord = kRecordOverhead + chunkSize;
  const qint64 fullRecords = bodyLength / fullRecord;
  const qint64 rest = bodyLength % fullRecord;
  QList<qint64> lengths(fullRecords, chunkSize);
  if (rest >= kRecordOverhead)
    lengths.append(rest - kRecordOverhead);
  else if (rest != 0)
    lengths.clear();
  return lengths;
}

OpenedStream failed(QString why) {
  OpenedStream result;
  result.failure = std::move(why);
  return result;
}

}  // namespace

OpenedStream openSealedStream(const QByteArray& key, const QByteArray& stream) {
  if (stream.size() < kHeaderBytes) return failed(QStringLiteral("shorter than the header"));
  if (stream.first(4) != QByteArrayLiteral("PMR1")) return failed(QStringLiteral("wrong magic"));
  OpenedStream result;
  result.chunkSize = bigEndian32(stream, 4);
  if (result.chunkSize == 0) return failed(QStringLiteral("chunk size 0"));
  const QList<qint64> lengths = chunkLengths(stream.size() - kHeaderBytes, result.chunkSize);
  if (lengths.isEmpty()) return failed(QStringLiteral("no record layout fits the stream's length"));
  qint64 at = kHeaderBytes;
  for (qint64 index = 0; index < lengths.size(); ++index) {
    const qint64 length = lengths[index];
    const auto plain = crypto::aesGcmOpen(
        key, stream.mid(at, kNonceBytes), stream.mid(at + kRecordOverhead, length),
        stream.mid(at + kNonceBytes, kTagBytes), associatedData(index, index == lengths.size() - 1));
    if (!plain) return failed(QStringLiteral("record %1 does not authenticate").arg(index));
    result.plaintext += *plain;
    result.recordSizes.append(kRecordOverhead + length);
    at += kRecordOverhead + length;
  }
  return result;
}

OpenedStream openSealedStream(const QByteArray& key, const QStringList& partFiles) {
  QByteArray stream;
  for (const QString& path : partFiles) {
    QFile part(path);
    if (!part.open(QIODevice::ReadOnly)) return failed(QStringLiteral("cannot read ") + path);
    stream += part.readAll();
  }
  return openSealedStream(key, stream);
}

}  // namespace pm::test
