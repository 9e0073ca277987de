#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace pm {

// Pairing codes, sync keys and what a user types for them: all are made of one 32-character alphabet
// (digits and capitals without I, L, O and U), each character standing for 5 bits.
class SyncCode {
 public:
  enum class Failure { derivationFailed };
  class Error final : public std::exception {
   public:
    explicit Error(Failure failure) : failure_(failure) {}
    Failure failure() const { return failure_; }
    const char* what() const noexcept override { return "the pairing proof could not be derived"; }

   private:
    Failure failure_;
  };

  static constexpr char kAlphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
  static constexpr int kPairingCodeLength = 6;
  static constexpr quint32 kProofRounds = 100'000;

  SyncCode() = delete;

  // A fresh pairing code of 6 characters. Throws crypto::RandomSourceFailure when the random source fails.
  static QString random();
  // One character per byte, chosen by the byte's low 5 bits.
  static QString fromBytes(const QByteArray& bytes);
  // What the user typed, upper-cased (full Unicode case mapping), with every character dropped that is not
  // one of the alphabet once canonically composed: blanks, dashes, accented letters, I, L, O and U (which are
  // not read as 1 or 0). The result is ASCII of any length; callers check the length.
  static QString normalize(const QString& typed);
  // HMAC-SHA256 of `message` under PBKDF2 of the code over `salt` (100,000 rounds): what the joining side
  // sends to show it knows the code. Throws Error(derivationFailed) when the derivation fails.
  static QByteArray proof(const QByteArray& message, const QString& code, const QByteArray& salt);
};

}  // namespace pm
