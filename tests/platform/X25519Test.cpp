#include <gtest/gtest.h>

#include "platform/X25519.h"

namespace pm::crypto {
namespace {

QByteArray hex(const char* text) {
  return QByteArray::fromHex(text);
}

// RFC 7748 section 6.1.
const QByteArray kAlicePrivate = hex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
const QByteArray kAlicePublic = hex("8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
const QByteArray kBobPrivate = hex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
const QByteArray kBobPublic = hex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
const QByteArray kShared = hex("4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");

TEST(X25519, MatchesTheReferenceExchange) {
  EXPECT_EQ(x25519PublicKey(kAlicePrivate), kAlicePublic);
  EXPECT_EQ(x25519PublicKey(kBobPrivate), kBobPublic);
  EXPECT_EQ(x25519SharedSecret(kAlicePrivate, kBobPublic), kShared);
  EXPECT_EQ(x25519SharedSecret(kBobPrivate, kAlicePublic), kShared);
}

TEST(X25519, FreshPairsAgreeAndDiffer) {
  const auto one = x25519Generate();
  const auto two = x25519Generate();
  ASSERT_TRUE(one && two);
  EXPECT_NE(one->privateKey, two->privateKey);
  EXPECT_EQ(x25519PublicKey(one->privateKey), one->publicKey);
  EXPECT_EQ(x25519SharedSecret(one->privateKey, two->publicKey),
            x25519SharedSecret(two->privateKey, one->publicKey));
}

TEST(X25519, RefusesKeysOfAnotherLengthAndLowOrderPoints) {
  EXPECT_EQ(x25519PublicKey(kAlicePrivate.left(31)), std::nullopt);
  EXPECT_EQ(x25519SharedSecret(kAlicePrivate, kBobPublic.left(31)), std::nullopt);
  EXPECT_EQ(x25519SharedSecret(kAlicePrivate, kBobPublic + '\0'), std::nullopt);
  EXPECT_EQ(x25519SharedSecret(kAlicePrivate, QByteArray(32, '\0')), std::nullopt) << "an all-zero secret";
}

}  // namespace
}  // namespace pm::crypto
