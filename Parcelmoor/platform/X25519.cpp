#include "X25519.h"

#include <openssl/evp.h>

#include <memory>

namespace pm::crypto {

namespace {

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;

struct ContextDeleter {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_PKEY_CTX, ContextDeleter>;

const unsigned char* bytes(const QByteArray& data) {
  return reinterpret_cast<const unsigned char*>(data.constData());
}

Key privateFromRaw(const QByteArray& raw) {
  if (raw.size() != kX25519KeyBytes) return nullptr;
  return Key(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, bytes(raw), size_t(raw.size())));
}

Key publicFromRaw(const QByteArray& raw) {
  if (raw.size() != kX25519KeyBytes) return nullptr;
  return Key(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, bytes(raw), size_t(raw.size())));
}

std::optional<QByteArray> rawPublic(EVP_PKEY* key) {
  QByteArray out(kX25519KeyBytes, Qt::Uninitialized);
  size_t length = size_t(out.size());
  if (EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char*>(out.data()), &length) != 1 ||
      length != size_t(kX25519KeyBytes))
    return std::nullopt;
  return out;
}

}  // namespace

std::optional<X25519KeyPair> x25519Generate() {
  const Context context(EVP_PKEY_CTX_new_id(EVP_PKEY_X25519, nullptr));
  if (!context || EVP_PKEY_keygen_init(context.get()) != 1) return std::nullopt;
  EVP_PKEY* made = nullptr;
  if (EVP_PKEY_keygen(context.get(), &made) != 1) return std::nullopt;
  const Key key(made);
  X25519KeyPair pair;
  pair.privateKey = QByteArray(kX25519KeyBytes, Qt::Uninitialized);
  size_t length = size_t(pair.privateKey.size());
  if (EVP_PKEY_get_raw_private_key(key.get(), reinterpret_cast<unsigned char*>(pair.privateKey.data()),
                                   &length) != 1 ||
      length != size_t(kX25519KeyBytes))
    return std::nullopt;
  const std::optional<QByteArray> publicKey = rawPublic(key.get());
  if (!publicKey) return std::nullopt;
  pair.publicKey = *publicKey;
  return pair;
}

std::optional<QByteArray> x25519PublicKey(const QByteArray& privateKey) {
  const Key key = privateFromRaw(privateKey);
  if (!key) return std::nullopt;
  return rawPublic(key.get());
}

std::optional<QByteArray> x25519SharedSecret(const QByteArray& privateKey, const QByteArray& peerPublicKey) {
  const Key own = privateFromRaw(privateKey);
  const Key peer = publicFromRaw(peerPublicKey);
  if (!own || !peer) return std::nullopt;
  const Context context(EVP_PKEY_CTX_new(own.get(), nullptr));
  if (!context || EVP_PKEY_derive_init(context.get()) != 1 ||
      EVP_PKEY_derive_set_peer(context.get(), peer.get()) != 1)
    return std::nullopt;
  QByteArray secret(kX25519KeyBytes, Qt::Uninitialized);
  size_t length = size_t(secret.size());
  if (EVP_PKEY_derive(context.get(), reinterpret_cast<unsigned char*>(secret.data()), &length) != 1 ||
      length != size_t(kX25519KeyBytes))
    return std::nullopt;
  return secret;
}

}  // namespace pm::crypto
