#pragma once

#include <QByteArray>

#include <optional>

// X25519 key agreement (RFC 7748) over raw 32-byte keys, as they travel between two computers.
namespace pm::crypto {

inline constexpr int kX25519KeyBytes = 32;

struct X25519KeyPair {
  QByteArray privateKey;  // 32 raw bytes
  QByteArray publicKey;   // 32 raw bytes
};

// A fresh key pair from the secure random source; nothing when the source or the library fails.
std::optional<X25519KeyPair> x25519Generate();
// The public key of a raw private key; nothing unless it is 32 bytes.
std::optional<QByteArray> x25519PublicKey(const QByteArray& privateKey);
// The shared secret of our private key and the peer's public key; nothing unless both are 32 bytes and
// the agreement succeeds (a peer key of low order gives an all-zero secret, which the library refuses).
std::optional<QByteArray> x25519SharedSecret(const QByteArray& privateKey, const QByteArray& peerPublicKey);

}  // namespace pm::crypto
