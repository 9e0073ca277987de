#include <QElapsedTimer>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "EnvelopeByHand.h"
#include "SyncPayloadPrinting.h"
#include "platform/Crypto.h"
#include "support/TestSupport.h"
#include "sync/SyncStore.h"

namespace pm {
namespace {

using Failure = PMRS1::Failure;

const QString kKey = QStringLiteral("7K2MXQ9PDRT4VB8N3WHC");

SyncPayload samplePayload() {
  UploaderConfig config(UploaderConfig::Kind::customS3);
  config.name = QStringLiteral("bucket");
  config.updatedAt = QDateTime(QDate(2024, 3, 1), QTime(10, 0, 0), QTimeZone::utc());
  SyncPayload payload;
  payload.uploaders = {
      SyncEntry{config, S3Credentials{QStringLiteral("AK"), QStringLiteral("SK")}, {}, {}, {}}};
  payload.preferences.insert(QStringLiteral("panelEdge"), SyncPref{QStringLiteral("top"), config.updatedAt});
  return payload;
}

std::optional<Failure> openingFailure(const QByteArray& envelope, const QString& key = kKey) {
  try {
    SyncStore::open(envelope, key);
    return std::nullopt;
  } catch (const PMRS1::Error& error) {
    return error.failure();
  }
}

QByteArray withRounds(QByteArray envelope, quint32 rounds) {
  for (int i = 0; i < 4; ++i) envelope[6 + i] = char((rounds >> (24 - 8 * i)) & 0xff);
  return envelope;
}

TEST(SealedEnvelope, SealsInTheLayoutAReaderOfTheFormatOpens) {
  const SyncPayload payload = samplePayload();
  const QByteArray envelope = SyncStore::seal(payload, kKey);
  const QByteArray json = payload.toJson();
  ASSERT_EQ(envelope.size(), 54 + json.size());
  EXPECT_EQ(envelope.left(10), QByteArray::fromHex("504d52533101"
                                                   "00002710"));
  EXPECT_EQ(test::openByHand(envelope, kKey), json);
  EXPECT_EQ(SyncStore::open(envelope, kKey), payload);
}

TEST(SealedEnvelope, TwoSealsDifferAndBothOpen) {
  const SyncPayload payload = samplePayload();
  const QByteArray first = SyncStore::seal(payload, kKey);
  const QByteArray second = SyncStore::seal(payload, kKey);
  EXPECT_NE(first.mid(10, 16), second.mid(10, 16)) << "fresh salt";
  EXPECT_NE(first.mid(26, 12), second.mid(26, 12)) << "fresh nonce";
  EXPECT_EQ(SyncStore::open(first, kKey), payload);
  EXPECT_EQ(SyncStore::open(second, kKey), payload);
}

TEST(SealedEnvelope, TamperTable) {
  const QByteArray envelope = SyncStore::seal(samplePayload(), kKey);
  const struct {
    const char* what;
    int offset;
    Failure expected;
  } flips[] = {
      {"magic", 0, Failure::notAnEnvelope},   {"magic end", 4, Failure::notAnEnvelope},
      {"version", 5, Failure::notAnEnvelope}, {"rounds", 9, Failure::wrongKey},
      {"salt", 10, Failure::wrongKey},        {"salt end", 25, Failure::wrongKey},
      {"nonce", 26, Failure::wrongKey},       {"nonce end", 37, Failure::wrongKey},
      {"tag", 38, Failure::wrongKey},         {"tag end", 53, Failure::wrongKey},
      {"ciphertext", 54, Failure::wrongKey},  {"last byte", -1, Failure::wrongKey},
  };
  for (const auto& row : flips) {
    SCOPED_TRACE(row.what);
    QByteArray damaged = envelope;
    const int at = row.offset >= 0 ? row.offset : int(damaged.size()) - 1;
    damaged[at] = char(damaged[at] ^ 0x01);
    EXPECT_EQ(openingFailure(damaged), row.expected);
  }
  EXPECT_EQ(openingFailure(envelope.left(54)), Failure::notAnEnvelope);
  EXPECT_EQ(openingFailure(envelope.left(55)), Failure::wrongKey);
  EXPECT_EQ(openingFailure(QByteArray()), Failure::notAnEnvelope);
  EXPECT_EQ(openingFailure(envelope, kKey + QLatin1Char(' ')), Failure::wrongKey);
  EXPECT_EQ(openingFailure(envelope, kKey.toLower()), Failure::wrongKey);
  EXPECT_EQ(openingFailure(envelope), std::nullopt);
}

TEST(SealedEnvelope, OpensWithTheStoredRoundsWithinTheirBounds) {
  const SyncPayload payload = samplePayload();
  const QByteArray json = payload.toJson();
  const QByteArray salt(16, '\x5a');
  const QByteArray nonce(12, '\x0c');
  for (const quint32 rounds : {1u, 1000u}) {
    SCOPED_TRACE(rounds);
    EXPECT_EQ(SyncStore::open(test::sealByHand(json, kKey, rounds, salt, nonce), kKey), payload);
  }
  const QByteArray valid = test::sealByHand(json, kKey, 1000, salt, nonce);
  for (const quint32 rounds : {0u, 1'000'001u, 4'294'967'295u}) {
    SCOPED_TRACE(rounds);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(openingFailure(withRounds(valid, rounds)), Failure::notAnEnvelope);
    EXPECT_LT(timer.elapsed(), 1000) << "refused before any derivation";
  }
}

TEST(SealedEnvelope, AnAuthenticTextThatIsNoPayloadIsUnreadableNotTheWrongKey) {
  const QByteArray salt(16, '\x01');
  const QByteArray nonce(12, '\x02');
  EXPECT_EQ(openingFailure(test::sealByHand("not json", kKey, 1000, salt, nonce)),
            Failure::unreadablePayload);
  EXPECT_EQ(openingFailure(test::sealByHand(R"({"uploaders":{}})", kKey, 1000, salt, nonce)),
            Failure::unreadablePayload);
  EXPECT_EQ(SyncStore::open(test::sealByHand("{}", kKey, 1000, salt, nonce), kKey), SyncPayload());
}

TEST(SealedEnvelope, DatesLoseTheirFractionalSeconds) {
  const SyncPayload payload = samplePayload();
  SyncPayload fractional = payload;
  fractional.uploaders[0].config.updatedAt = payload.uploaders[0].config.updatedAt.addMSecs(700);
  EXPECT_EQ(SyncStore::open(SyncStore::seal(fractional, kKey), kKey), payload);
}

TEST(SealedEnvelope, AFailingRandomSourceMakesSealingThrow) {
  const test::RandomSourceFailing failing;
  EXPECT_THROW(SyncStore::seal(samplePayload(), kKey), crypto::RandomSourceFailure);
}

}  // namespace
}  // namespace pm
