#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <QCoroTask>

#include <exception>
#include <optional>
#include <stdexcept>

#include "core/ParcelmoorAPI.h"
#include "platform/Async.h"

namespace pm {


// Pairing moves the sync key from a computer where sync is on (the offering side) to a new one of the same
// account (the joining side) through the service's one pairing record per account ("sync/pairings"),
// without the service ever seeing the key. The 6-character code shown on the offering side never
// travels: it authenticates the joining side's X25519 public key (a PBKDF2-stretched HMAC the offering
// side checks) and salts the HKDF key that seals the handover (checked when the joining side opens it).
// Binary values travel as padded standard Base64. Nothing here retries or waits; the coordinator does.
// Main thread; the proof's key stretching runs on a worker.
class SyncPairing {
 public:
  enum class Failure { noPairing, gone, badProof, sealFailed };
  class Error final : public std::exception {
   public:
    explicit Error(Failure failure) : failure_(failure) {}
    Failure failure() const { return failure_; }
    const char* what() const noexcept override;

   private:
    Failure failure_;
  };
  // The handover did not open: another code, another key pair or a changed message.
  class CipherError final : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // The offering side's sealed sync key: all three fields Base64.
  struct Handover {
    QString senderPublicKey;  // the one-time X25519 public key, 32 bytes
    QString handover;         // AES-256-GCM ciphertext followed by the 16-byte tag
    QString nonce;            // 12 bytes

    QJsonObject toJson() const;
    // Nothing unless all three fields are strings.
    static std::optional<Handover> fromJson(const QJsonObject& object);
  };

  static constexpr int kSaltBytes = 16;
  static constexpr char kHandoverInfo[] = "parcelmoor/sync-pairing/v1";

  // The bodiless requests carry the session token that `api` keeps.
  explicit SyncPairing(ParcelmoorAPI& api);

  // Offering side.
  // 16 fresh salt bytes (throws crypto::RandomSourceFailure when the source fails).
  static QByteArray makeSalt();
  // Opens the account's pairing with `salt`. Throws the service client's errors.
  QCoro::Task<> open(QByteArray salt, CancelTokenPtr cancel = {});
  // The joining side's public key once a valid answer is there; nothing while there is none. Throws gone,
  // badProof or the service client's errors.
  QCoro::Task<std::optional<QByteArray>> fetchAnswer(QString code, QByteArray salt,
                                                     CancelTokenPtr cancel = {});
  // Seals `key` for `publicKey` and stores the handover. Throws as sealHandover does, or the client's errors.
  QCoro::Task<> handOver(QString key, QByteArray publicKey, QString code, CancelTokenPtr cancel = {});
  // Throws CipherError when `publicKey` is no X25519 key, crypto::RandomSourceFailure, std::runtime_error
  // when the cipher fails.
  static Handover sealHandover(const QString& key, const QByteArray& publicKey, const QString& code);
  // Removes the account's pairing; without a session token nothing is sent. Never throws.
  QCoro::Task<> close();

  // Joining side.
  // Answers the open pairing with a fresh key pair and the proof; returns the private key. Throws
  // noPairing, SyncCode::Error or the service client's errors.
  QCoro::Task<QByteArray> answer(QString code, CancelTokenPtr cancel = {});
  // The sync key once the handover is there; nothing while it is not. Throws gone, sealFailed, or as
  // openHandover does.
  QCoro::Task<std::optional<QString>> claim(QString code, QByteArray privateKey, CancelTokenPtr cancel = {});
  // Throws sealFailed for fields that are not Base64 or a key that is not UTF-8, CipherError when it does
  // not open.
  static QString openHandover(const Handover& handover, const QByteArray& privateKey, const QString& code);

  // The 32-byte key both sides seal the handover under: HKDF-SHA256 of the X25519 secret with the code as
  // salt. Throws CipherError when the derivation fails.
  static QByteArray handoverKey(const QByteArray& sharedSecret, const QString& code);
  // Length first, then every byte in constant time: how far a forged proof matched says nothing.
  static bool sameProof(const QByteArray& computed, const QByteArray& received);

 private:
  // A request without a body under the stored session token, answered with any status; nothing (and
  // nothing sent) without a token.
  QCoro::Task<std::optional<ParcelmoorAPI::Response>> sendWithSession(QString path, QByteArray method,
                                                                      CancelTokenPtr cancel = {});

  ParcelmoorAPI& api_;
};

}  // namespace pm
