#include "Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/core_names.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <atomic>
#include <climits>
#include <future>
#include <mutex>
#include <memory>

namespace pm::crypto {

namespace {

// The library frees its shared state in an exit handler unless told not to before it first starts. Qt's
// worker threads are detached: the library's clean-up of a worker's own state runs as the thread ends,
// which can be after the pools reported the thread done, and the exit handler freeing the shared state
// under it corrupts the heap as the process ends. The system takes the memory back anyway.
[[maybe_unused]] const bool kCleanedUpBySystem = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

std::atomic<bool> randomFails{false};

// Set once by prepareInBackground(); the library makes any call that needs the same set-up meanwhile wait
// for it, so nothing here waits for this.
std::shared_future<void> preparing;

struct CipherContextDeleter {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

const unsigned char* bytes(const QByteArray& data) { return reinterpret_cast<const unsigned char*>(data.constData()); }
unsigned char* bytes(QByteArray& data) { return reinterpret_cast<unsigned char*>(data.data()); }

// EVP takes int lengths; larger buffers go through in slices.
template <typename Step>
bool inSlices(const unsigned char* in, qsizetype length, unsigned char* out, Step step) {
  constexpr qsizetype kSlice = qsizetype(1) << 30;
  while (length > 0) {
    const int n = int(std::min(length, kSlice));
    int written = 0;
    if (!step(out, &written, in, n) || written != n) return false;
    in += n;
    out += n;
    length -= n;
  }
  return true;
}

}  // namespace

void prepareInBackground() {
  static std::once_flag started;
  std::call_once(started, [] {
    preparing = std::async(std::launch::async, [] {
                  // The configuration file, the default provider and the seeded shared generator, with the
                  // block cipher the generator and sealing both fetch.
                  OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG | OPENSSL_INIT_NO_ATEXIT, nullptr);
                  unsigned char seed = 0;
                  (void)RAND_bytes(&seed, 1);
                  EVP_CIPHER_free(EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr));
                }).share();
  });
}

void setRandomSourceFailingForTesting(bool failing) { randomFails = failing; }

bool fillRandom(unsigned char* out, int count) {
  if (count < 0) return false;
  if (count == 0) return true;
  if (randomFails) return false;
  return RAND_bytes(out, count) == 1;
}

std::optional<QByteArray> randomBytes(int count) {
  if (count < 0) return std::nullopt;
  QByteArray out(count, Qt::Uninitialized);
  if (!fillRandom(bytes(out), count)) return std::nullopt;
  return out;
}

QByteArray requireRandomBytes(int count) {
  std::optional<QByteArray> out = randomBytes(count);
  if (!out) throw RandomSourceFailure();
  return *std::move(out);
}

QByteArray sha256(const QByteArray& data) {
  QByteArray digest(SHA256_DIGEST_LENGTH, Qt::Uninitialized);
  unsigned int length = 0;
  if (EVP_Digest(data.constData(), size_t(data.size()), bytes(digest), &length, EVP_sha256(), nullptr) != 1)
    qFatal("SHA-256 is not available");
  return digest;
}

QByteArray hmacSha256(const QByteArray& key, const QByteArray& message) {
  QByteArray mac(SHA256_DIGEST_LENGTH, Qt::Uninitialized);
  unsigned int length = 0;
  if (!HMAC(EVP_sha256(), key.constData(), int(key.size()), bytes(message), size_t(message.size()), bytes(mac),
            &length))
    qFatal("HMAC-SHA256 is not available");
  return mac;
}

std::optional<QByteArray> hkdfSha256(const QByteArray& inputKey, const QByteArray& salt, const QByteArray& info,
                                     int length) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  if (!kdf) return std::nullopt;
  EVP_KDF_CTX* context = EVP_KDF_CTX_new(kdf);
  EVP_KDF_free(kdf);
  if (!context) return std::nullopt;
  QByteArray ikm = inputKey, s = salt, i = info;
  char digest[] = "SHA256";
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, ikm.data(), size_t(ikm.size())),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, s.data(), size_t(s.size())),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, i.data(), size_t(i.size())),
      OSSL_PARAM_construct_end(),
  };
  QByteArray out(length, Qt::Uninitialized);
  const bool ok = EVP_KDF_derive(context, bytes(out), size_t(length), params) == 1;
  EVP_KDF_CTX_free(context);
  if (!ok) return std::nullopt;
  return out;
}

std::optional<QByteArray> pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations,
                                       int length) {
  QByteArray out(length, Qt::Uninitialized);
  if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()), bytes(salt), int(salt.size()), iterations,
                        EVP_sha256(), length, bytes(out)) != 1)
    return std::nullopt;
  return out;
}

namespace {

// Sets up AES-256-GCM in one direction and runs the associated data and the body through it; the caller
// then deals with the tag and finishes. Nothing on any failure.
CipherContext gcmProcess(bool encrypt, const QByteArray& key, const unsigned char* nonce, const QByteArray& aad,
                         const unsigned char* in, qsizetype length, unsigned char* out) {
  if (key.size() != kAesKeyBytes) return nullptr;
  CipherContext context(EVP_CIPHER_CTX_new());
  if (!context) return nullptr;
  const int direction = encrypt ? 1 : 0;
  int n = 0;
  if (EVP_CipherInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr, direction) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, kGcmNonceBytes, nullptr) != 1 ||
      EVP_CipherInit_ex(context.get(), nullptr, nullptr, bytes(key), nonce, direction) != 1)
    return nullptr;
  if (!aad.isEmpty() && EVP_CipherUpdate(context.get(), nullptr, &n, bytes(aad), int(aad.size())) != 1)
    return nullptr;
  if (!inSlices(in, length, out, [&](unsigned char* o, int* written, const unsigned char* i, int size) {
        return EVP_CipherUpdate(context.get(), o, written, i, size) == 1;
      }))
    return nullptr;
  return context;
}

bool gcmFinish(EVP_CIPHER_CTX* context) {
  unsigned char tail[16];
  int n = 0;
  return EVP_CipherFinal_ex(context, tail, &n) == 1 && n == 0;
}

}  // namespace

bool aesGcmSeal(const QByteArray& key, const unsigned char* nonce, const unsigned char* in, qsizetype length,
                const QByteArray& aad, unsigned char* out, unsigned char* tag) {
  const CipherContext context = gcmProcess(true, key, nonce, aad, in, length, out);
  return context && gcmFinish(context.get()) &&
         EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, kGcmTagBytes, tag) == 1;
}

bool aesGcmOpen(const QByteArray& key, const unsigned char* nonce, const unsigned char* in, qsizetype length,
                const QByteArray& aad, const unsigned char* tag, unsigned char* out) {
  const CipherContext context = gcmProcess(false, key, nonce, aad, in, length, out);
  if (!context) return false;
  unsigned char expected[kGcmTagBytes];
  std::copy(tag, tag + kGcmTagBytes, expected);
  return EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, kGcmTagBytes, expected) == 1 &&
         gcmFinish(context.get());
}

std::optional<GcmSealed> aesGcmSeal(const QByteArray& key, const QByteArray& nonce, const QByteArray& plaintext,
                                    const QByteArray& aad) {
  if (nonce.size() != kGcmNonceBytes) return std::nullopt;
  GcmSealed sealed{QByteArray(plaintext.size(), Qt::Uninitialized), QByteArray(kGcmTagBytes, Qt::Uninitialized)};
  if (!aesGcmSeal(key, bytes(nonce), bytes(plaintext), plaintext.size(), aad, bytes(sealed.ciphertext),
                  bytes(sealed.tag)))
    return std::nullopt;
  return sealed;
}

std::optional<QByteArray> aesGcmOpen(const QByteArray& key, const QByteArray& nonce, const QByteArray& ciphertext,
                                     const QByteArray& tag, const QByteArray& aad) {
  if (nonce.size() != kGcmNonceBytes || tag.size() != kGcmTagBytes) return std::nullopt;
  QByteArray plain(ciphertext.size(), Qt::Uninitialized);
  if (!aesGcmOpen(key, bytes(nonce), bytes(ciphertext), ciphertext.size(), aad, bytes(tag), bytes(plain)))
    return std::nullopt;
  return plain;
}

}  // namespace pm::crypto
