#pragma once

#include <QByteArray>

#include <optional>
#include <stdexcept>

// OpenSSL 3 behind small, checked calls. Every call reports failure instead of producing weak output: a
// failed random source is an error, never zero bytes.
namespace pm::crypto {

inline constexpr int kAesKeyBytes = 32;
inline constexpr int kGcmNonceBytes = 12;
inline constexpr int kGcmTagBytes = 16;

// Loads the library's configuration and seeds its random generator on a thread of its own, so the first
// key a program makes does not pay for them where it is waited for. Called once, early; later calls do
// nothing, and every other call here works whether or not it ran or has finished.
void prepareInBackground();

// `count` bytes from the system's secure random source; nothing when the source fails.
std::optional<QByteArray> randomBytes(int count);
// Fills `out`; false when the source fails (then `out` must not be used).
bool fillRandom(unsigned char* out, int count);

// The system's random source failed: whatever needed the bytes cannot be made safely.
class RandomSourceFailure final : public std::runtime_error {
 public:
  RandomSourceFailure() : std::runtime_error("the system's secure random source failed") {}
};
// `count` bytes from the secure random source; throws RandomSourceFailure when it fails.
QByteArray requireRandomBytes(int count);

// Tests make the random source fail for this process until they switch it back.
void setRandomSourceFailingForTesting(bool failing);

QByteArray sha256(const QByteArray& data);
QByteArray hmacSha256(const QByteArray& key, const QByteArray& message);
// HKDF-SHA256 (extract and expand); nothing on failure.
std::optional<QByteArray> hkdfSha256(const QByteArray& inputKey, const QByteArray& salt, const QByteArray& info,
                                     int length);
// PBKDF2-HMAC-SHA256; nothing on failure.
std::optional<QByteArray> pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations,
                                       int length);

// AES-256-GCM over raw buffers, for streaming callers that reuse their buffers. `out` has room for
// `length` bytes; `tag` for 16. False on any failure.
bool aesGcmSeal(const QByteArray& key, const unsigned char* nonce, const unsigned char* in, qsizetype length,
                const QByteArray& aad, unsigned char* out, unsigned char* tag);
bool aesGcmOpen(const QByteArray& key, const unsigned char* nonce, const unsigned char* in, qsizetype length,
                const QByteArray& aad, const unsigned char* tag, unsigned char* out);

struct GcmSealed {
  QByteArray ciphertext;
  QByteArray tag;
};
std::optional<GcmSealed> aesGcmSeal(const QByteArray& key, const QByteArray& nonce, const QByteArray& plaintext,
                                    const QByteArray& aad);
// Nothing when authentication fails.
std::optional<QByteArray> aesGcmOpen(const QByteArray& key, const QByteArray& nonce, const QByteArray& ciphertext,
                                     const QByteArray& tag, const QByteArray& aad);

}  // namespace pm::crypto
