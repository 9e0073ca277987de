#include "EnvelopeByHand.h"

#include "platform/Crypto.h"

namespace pm::test {

namespace {

QByteArray bigEndian32(quint32 value) {
  QByteArray out;
  for (int shift = 24; shift >= 0; shift -= 8) out.append(char((value >> shift) & 0xff));
  return out;
}

quint32 readBigEndian32(const QByteArray& bytes) {
  quint32 value = 0;
  for (const char byte : bytes) value = (value << 8) | uchar(byte);
  return value;
}

}  // namespace

QByteArray sealByHand(const QByteArray& plaintext, const QString& key, quint32 rounds, const QByteArray& salt,
                      const QByteArray& nonce) {
  const QByteArray header = QByteArray("PMRS1") + char(1) + bigEndian32(rounds) + salt + nonce;
  const QByteArray aesKey = crypto::pbkdf2Sha256(key.toUtf8(), salt, int(rounds), 32).value();
  const crypto::GcmSealed sealed = crypto::aesGcmSeal(aesKey, nonce, plaintext, header).value();
  return header + sealed.tag + sealed.ciphertext;
}

std::optional<QByteArray> openByHand(const QByteArray& envelope, const QString& key) {
  if (envelope.size() < 55 || envelope.left(5) != "PMRS1" || envelope.at(5) != 1) return std::nullopt;
  const quint32 rounds = readBigEndian32(envelope.mid(6, 4));
  const QByteArray salt = envelope.mid(10, 16);
  const QByteArray nonce = envelope.mid(26, 12);
  const QByteArray tag = envelope.mid(38, 16);
  const QByteArray ciphertext = envelope.mid(54);
  const auto aesKey = crypto::pbkdf2Sha256(key.toUtf8(), salt, int(rounds), 32);
  if (!aesKey) return std::nullopt;
  return crypto::aesGcmOpen(*aesKey, nonce, ciphertext, tag, envelope.left(38));
}

}  // namespace pm::test
