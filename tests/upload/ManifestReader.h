#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <optional>

#include "platform/Crypto.h"

// A recipient's view of a sealed box manifest, written from the byte layout alone: "PMRM1", version 1,
// big-endian iteration count, salt (16), nonce (12), tag (16), ciphertext; the first 38 bytes are the
// associated data.
namespace pm::test::manifestReader {

inline constexpr qsizetype kHeader = 38;
inline constexpr qsizetype kTag = 16;

inline bool wellFormed(const QByteArray& sealed) {
  return sealed.size() >= kHeader + kTag && sealed.startsWith("PMRM1") && sealed[5] == '\x01';
}

// The 64 derived bytes for `password`, with the salt and count the sealed bytes carry.
inline std::optional<QByteArray> derive(const QByteArray& sealed, const QString& password) {
  if (!wellFormed(sealed)) return std::nullopt;
  const quint32 iterations = qFromBigEndian<quint32>(sealed.constData() + 6);
  return crypto::pbkdf2Sha256(password.toUtf8(), sealed.mid(10, 16), int(iterations), 64);
}

inline std::optional<QByteArray> open(const QByteArray& sealed, const QByteArray& derived) {
  if (!wellFormed(sealed)) return std::nullopt;
  return crypto::aesGcmOpen(derived.first(32), sealed.mid(26, 12), sealed.sliced(kHeader + kTag),
                            sealed.mid(kHeader, kTag), sealed.first(kHeader));
}

// The manifest JSON, or nothing when `password` does not open it.
inline std::optional<QByteArray> open(const QByteArray& sealed, const QString& password) {
  const std::optional<QByteArray> derived = derive(sealed, password);
  if (!derived) return std::nullopt;
  return open(sealed, *derived);
}

}  // namespace pm::test::manifestReader
