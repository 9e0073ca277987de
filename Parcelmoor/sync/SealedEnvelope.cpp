#include "SealedEnvelope.h"

#include <QtEndian>

#include <stdexcept>

#include "platform/Crypto.h"
#include "platform/Log.h"
#include "sync/KeyDerivation.h"

namespace pm::PMRS1 {

namespace {

constexpr int kMagicBytes = 5;
constexpr int kVersionOffset = 5;
constexpr int kRoundsOffset = 6;
constexpr int kSaltOffset = 10;
constexpr int kNonceOffset = 26;
constexpr int kTagOffset = kHeaderBytes;
constexpr int kCiphertextOffset = kHeaderBytes + kTagBytes;
static_assert(kNonceOffset + crypto::kGcmNonceBytes == kHeaderBytes);
static_assert(kTagBytes == crypto::kGcmTagBytes);

QByteArray derivedKey(const QString& key, const QByteArray& salt, quint32 rounds) {
  std::optional<QByteArray> derived = pbkdf2SHA256(key.toUtf8(), salt, rounds);
  if (!derived) throw Error(Failure::keyPreparationFailed);
  return *std::move(derived);
}

}  // namespace

const char* Error::what() const noexcept {
  switch (failure_) {
    case Failure::notAnEnvelope:
      return "the data is not a sealed sync envelope";
    case Failure::wrongKey:
      return "the sync key does not open the envelope";
    case Failure::unreadablePayload:
      return "the envelope holds settings this version cannot read";
    case Failure::keyPreparationFailed:
      break;
  }
  return "the envelope key could not be derived";
}

QByteArray seal(const SyncPayload& payload, const QString& key) {
  const QByteArray salt = crypto::requireRandomBytes(kSaltBytes);
  const QByteArray nonce = crypto::requireRandomBytes(crypto::kGcmNonceBytes);

  QByteArray header(kMagic, kMagicBytes);
  header.append(kVersion);
  char rounds[4];
  qToBigEndian(kSealingRounds, rounds);
  header.append(rounds, sizeof rounds);
  header.append(salt);
  header.append(nonce);

  const QByteArray json = payload.toJson();
  const QByteArray aesKey = derivedKey(key, salt, kSealingRounds);
  const std::optional<crypto::GcmSealed> sealed = crypto::aesGcmSeal(aesKey, nonce, json, header);
  if (!sealed) throw std::runtime_error("AES-GCM could not seal the sync payload");
  return header + sealed->tag + sealed->ciphertext;
}

SyncPayload open(const QByteArray& envelope, const QString& key) {
  if (envelope.size() <= kCiphertextOffset || !envelope.startsWith(QByteArrayView(kMagic, kMagicBytes)) ||
      envelope.at(kVersionOffset) != kVersion)
    throw Error(Failure::notAnEnvelope);
  const quint32 rounds = qFromBigEndian<quint32>(envelope.constData() + kRoundsOffset);
  if (rounds < 1 || rounds > kMaxRounds) throw Error(Failure::notAnEnvelope);

  const QByteArray aesKey = derivedKey(key, envelope.mid(kSaltOffset, kSaltBytes), rounds);
  const std::optional<QByteArray> json = crypto::aesGcmOpen(
      aesKey, envelope.mid(kNonceOffset, crypto::kGcmNonceBytes), envelope.mid(kCiphertextOffset),
      envelope.mid(kTagOffset, kTagBytes), envelope.left(kHeaderBytes));
  if (!json) throw Error(Failure::wrongKey);
  QString why;
  std::optional<SyncPayload> payload = SyncPayload::fromJson(*json, &why);
  if (!payload) {
    qCWarning(lcSync) << "An authentic envelope holds no readable payload:" << why;
    throw Error(Failure::unreadablePayload);
  }
  return *std::move(payload);
}

}  // namespace pm::PMRS1
