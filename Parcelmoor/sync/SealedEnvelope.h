#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <exception>

#include "sync/SyncPayload.h"

namespace pm {

// "PMRS1": the synced payload sealed under the sync key, the only form in which it leaves the computer.
//
//   offset  length  field
//   0       5       "PMRS1"
//   5       1       version 1
//   6       4       PBKDF2 rounds, big-endian
//   10      16      PBKDF2 salt, random per envelope
//   26      12      AES-GCM nonce, random per envelope
//   38      16      AES-GCM tag
//   54      rest    AES-256-GCM ciphertext of the payload's JSON
//
// The first 38 bytes are the associated data, so any change to them fails authentication. The AES key is
// PBKDF2-HMAC-SHA256 of the sync key's UTF-8 text, exactly as given, over the salt.
namespace PMRS1 {

// unreadablePayload: the envelope is authentic (so the key is right) but what it seals is no payload this
// version can read; unlike a wrong key, that is no reason to replace it.
enum class Failure { notAnEnvelope, wrongKey, keyPreparationFailed, unreadablePayload };

class Error final : public std::exception {
 public:
  explicit Error(Failure failure) : failure_(failure) {}
  Failure failure() const { return failure_; }
  const char* what() const noexcept override;

 private:
  Failure failure_;
};

inline constexpr char kMagic[] = "PMRS1";
inline constexpr char kVersion = 1;
inline constexpr quint32 kSealingRounds = 10'000;
// What opening accepts: a count beyond it would stall every pull for hours, and 0 is no count. Such an
// envelope is not one of ours; it says nothing about the key.
inline constexpr quint32 kMaxRounds = 1'000'000;
inline constexpr int kSaltBytes = 16;
inline constexpr int kHeaderBytes = 38;
inline constexpr int kTagBytes = 16;

// Seals with fresh salt and nonce and 10,000 rounds. Throws crypto::RandomSourceFailure when the random
// source fails, Error(keyPreparationFailed) when the derivation fails, std::invalid_argument when the
// payload cannot be written and std::runtime_error when the cipher fails.
QByteArray seal(const SyncPayload& payload, const QString& key);
// Throws Error: notAnEnvelope for anything shorter than 55 bytes, another magic or version, or a round
// count outside 1 to 1,000,000; keyPreparationFailed when the derivation fails; wrongKey when
// authentication fails; unreadablePayload when the plaintext is not a payload.
SyncPayload open(const QByteArray& envelope, const QString& key);

}  // namespace PMRS1

}  // namespace pm
