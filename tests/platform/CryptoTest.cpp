#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Crypto.h"

namespace pm::crypto {
namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

TEST(Crypto, KnownVectors) {
  EXPECT_EQ(sha256("abc").toHex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // RFC 4231 test case 2.
  EXPECT_EQ(hmacSha256("Jefe", "what do ya want for nothing?").toHex(),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  // RFC 5869 test case 1.
  EXPECT_EQ(hkdfSha256(hex("0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b"), hex("000102030405060708090a0b0c"),
                       hex("f0f1f2f3f4f5f6f7f8f9"), 42)
                ->toHex(),
            "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865");
  // RFC 7914 section 11, PBKDF2-HMAC-SHA256 with one iteration.
  EXPECT_EQ(pbkdf2Sha256("passwd", "salt", 1, 64)->toHex(),
            "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
            "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
}

TEST(Crypto, GcmSealsAndRejectsAnyChange) {
  const QByteArray key(32, '\x42');
  const QByteArray nonce(12, '\x07');
  const auto sealed = aesGcmSeal(key, nonce, "attack at dawn", "header");
  ASSERT_TRUE(sealed);
  EXPECT_EQ(sealed->ciphertext.size(), 14);
  EXPECT_EQ(aesGcmOpen(key, nonce, sealed->ciphertext, sealed->tag, "header"), QByteArray("attack at dawn"));
  EXPECT_EQ(aesGcmOpen(key, nonce, sealed->ciphertext, sealed->tag, "headex"), std::nullopt);
  QByteArray flipped = sealed->ciphertext;
  flipped[0] = char(flipped[0] ^ 1);
  EXPECT_EQ(aesGcmOpen(key, nonce, flipped, sealed->tag, "header"), std::nullopt);
  QByteArray badTag = sealed->tag;
  badTag[15] = char(badTag[15] ^ 0x80);
  EXPECT_EQ(aesGcmOpen(key, nonce, sealed->ciphertext, badTag, "header"), std::nullopt);
  EXPECT_EQ(aesGcmSeal(QByteArray(16, 'k'), nonce, "x", {}), std::nullopt) << "only 256-bit keys";
  // NIST GCM test case 13: zero key and IV, empty plaintext.
  const auto empty = aesGcmSeal(QByteArray(32, '\0'), QByteArray(12, '\0'), {}, {});
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->tag.toHex(), "530f8afbc74536b9a963b4f1c4cb738b");
}

// The agent seeds the library on a thread of its own while its main thread may already make keys and seal:
// the calls that meet the set-up half done still give sound output.
TEST(Crypto, CallsMadeWhileTheLibraryIsPreparedInTheBackgroundWork) {
  prepareInBackground();
  std::vector<std::thread> callers;
  std::atomic<int> sound{0};
  for (int n = 0; n < 4; ++n) {
    callers.emplace_back([&sound] {
      const auto key = randomBytes(kAesKeyBytes);
      const auto nonce = randomBytes(kGcmNonceBytes);
      if (!key || !nonce || *key == QByteArray(kAesKeyBytes, '\0')) return;
      const auto sealed = aesGcmSeal(*key, *nonce, QByteArrayLiteral("report"), {});
      if (sealed && aesGcmOpen(*key, *nonce, sealed->ciphertext, sealed->tag, {}) == QByteArrayLiteral("report"))
        ++sound;
    });
  }
  prepareInBackground();
  for (std::thread& caller : callers) caller.join();
  EXPECT_EQ(sound, 4);
}

TEST(Crypto, RandomSourceFailureIsReported) {
  const auto a = randomBytes(32);
  const auto b = randomBytes(32);
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  setRandomSourceFailingForTesting(true);
  EXPECT_EQ(randomBytes(16), std::nullopt);
  unsigned char buffer[4] = {};
  EXPECT_FALSE(fillRandom(buffer, 4));
  EXPECT_THROW(requireRandomBytes(16), RandomSourceFailure);
  setRandomSourceFailingForTesting(false);
  EXPECT_TRUE(randomBytes(16));
  EXPECT_EQ(requireRandomBytes(16).size(), 16);
}

}  // namespace
}  // namespace pm::crypto
