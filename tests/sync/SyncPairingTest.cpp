#include <QJsonDocument>

#include <gtest/gtest.h>

#include "SyncMachine.h"
#include "core/UploadError.h"
#include "platform/Crypto.h"
#include "platform/X25519.h"
#include "support/FakeServiceSync.h"
#include "support/TestSupport.h"
#include "sync/StrictBase64.h"
#include "sync/SyncCode.h"

namespace pm {
namespace {

using Failure = SyncPairing::Failure;
using Reply = test::FakeService::Reply;

const QString kAccount = QStringLiteral("ada@example.com");
const QString kPairings = QStringLiteral("sync/pairings");
const QString kClaim = QStringLiteral("sync/pairings/claim");
const QString kCode = QStringLiteral("7K2MXQ");
const QString kKey = QStringLiteral("7K2MXQ9PDRT4VB8N3WHC");

template <typename Run>
std::optional<Failure> pairingFailureOf(Run run) {
  try {
    run();
  } catch (const SyncPairing::Error& error) {
    return error.failure();
  }
  return std::nullopt;
}

QString base64(const QByteArray& bytes) {
  return QString::fromLatin1(bytes.toBase64());
}

qsizetype strictBase64Length(const QJsonObject& object, const char* key) {
  const std::optional<QByteArray> decoded = strictBase64Decode(object.value(QLatin1String(key)).toString());
  return decoded ? decoded->size() : -1;
}

class SyncPairingTest : public ::testing::Test {
 protected:
  // The offering side opens a pairing and the joining side answers it with `typed`.
  QByteArray openAndAnswer(const QString& typed = kCode) {
    test::wait(offering.pairing.open(salt));
    return test::wait(joining.pairing.answer(typed));
  }

  test::ManualClock clock;
  test::FakeService service;
  test::FakeServiceSync sync{service};
  test::SyncMachine offering{service, service.createSession(kAccount, true), clock};
  test::SyncMachine joining{service, service.createSession(kAccount, true), clock};
  QByteArray salt = SyncPairing::makeSalt();
};

TEST_F(SyncPairingTest, TwoComputersHandTheKeyOver) {
  test::wait(offering.pairing.open(salt));
  EXPECT_EQ(test::wait(offering.pairing.fetchAnswer(kCode, salt)), std::nullopt) << "no answer yet";
  const QByteArray privateKey = test::wait(joining.pairing.answer(kCode));
  EXPECT_EQ(test::wait(joining.pairing.claim(kCode, privateKey)), std::nullopt) << "nothing handed over yet";

  const std::optional<QByteArray> publicKey = test::wait(offering.pairing.fetchAnswer(kCode, salt));
  ASSERT_TRUE(publicKey);
  EXPECT_EQ(crypto::x25519PublicKey(privateKey), *publicKey);
  test::wait(offering.pairing.handOver(kKey, *publicKey, kCode));
  EXPECT_EQ(test::wait(joining.pairing.claim(kCode, privateKey)), kKey);

  const QJsonObject handover = service.requests("PUT", kPairings).last().json();
  EXPECT_EQ(strictBase64Length(handover, "senderPublicKey"), 32);
  EXPECT_EQ(strictBase64Length(handover, "nonce"), 12);
  EXPECT_EQ(strictBase64Length(handover, "handover"), kKey.size() + 16);
}

TEST_F(SyncPairingTest, AWrongCodeIsCaughtByTheOfferingSide) {
  openAndAnswer(QStringLiteral("7K2MXR"));
  EXPECT_EQ(pairingFailureOf([&] { test::wait(offering.pairing.fetchAnswer(kCode, salt)); }),
            Failure::badProof);
}

TEST_F(SyncPairingTest, AHandoverSealedUnderAnotherCodeDoesNotOpen) {
  const QByteArray privateKey = openAndAnswer();
  const QByteArray publicKey = *test::wait(offering.pairing.fetchAnswer(kCode, salt));
  test::wait(offering.pairing.handOver(kKey, publicKey, QStringLiteral("7K2MXR")));
  EXPECT_THROW(test::wait(joining.pairing.claim(kCode, privateKey)), SyncPairing::CipherError);
}

TEST_F(SyncPairingTest, TheAnswerEchoesTheSaltTextAsGiven) {
  // Valid Base64 whose last character carries bits a fresh encoding would write as zero.
  const QString salt = QStringLiteral("AAAAAAAAAAAAAAAAAAAAAB==");
  service.script("GET", kPairings, Reply::json(QJsonObject{{"salt", salt}}));
  service.script("PUT", kPairings, Reply::json(QJsonObject{}));
  test::wait(joining.pairing.answer(kCode));
  const QJsonObject sent = service.requests("PUT", kPairings).last().json();
  EXPECT_EQ(sent.value("salt").toString(), salt);
  EXPECT_EQ(QByteArray::fromBase64(sent.value("mac").toString().toLatin1()).size(), 32);
}

struct StatusRow {
  const char* name;
  int status;
  QByteArray body;
  std::optional<Failure> failure;  // nothing: "not yet"
};

class JoiningStatus : public SyncPairingTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(JoiningStatus, AnswerFindsNoPairingOnAnythingButAReadableRow) {
  const StatusRow& row = GetParam();
  service.script("GET", kPairings, Reply::raw(row.status, row.body, "application/json"));
  EXPECT_EQ(pairingFailureOf([&] { test::wait(joining.pairing.answer(kCode)); }), Failure::noPairing);
  EXPECT_EQ(service.count("PUT", kPairings), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, JoiningStatus,
                         ::testing::Values(StatusRow{"notFound", 404, "{}", Failure::noPairing},
                                           StatusRow{"unauthorised", 401, "{}", Failure::noPairing},
                                           StatusRow{"serverError", 500, "{}", Failure::noPairing},
                                           StatusRow{"unreadableRow", 200, "[]", Failure::noPairing},
                                           StatusRow{"saltNotBase64", 200, "{\"salt\":\"A A=\"}",
                                                     Failure::noPairing}),
                         [](const auto& info) { return std::string(info.param.name); });

class OfferingStatus : public SyncPairingTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(OfferingStatus, FetchAnswerTellsGoneFromNotYet) {
  const StatusRow& row = GetParam();
  service.script("GET", kPairings, Reply::raw(row.status, row.body, "application/json"));
  std::optional<QByteArray> answer;
  const std::optional<Failure> failure =
      pairingFailureOf([&] { answer = test::wait(offering.pairing.fetchAnswer(kCode, salt)); });
  EXPECT_EQ(failure, row.failure);
  EXPECT_EQ(answer, std::nullopt);
}

QByteArray rowWith(const QByteArray& publicKey, const QByteArray& mac) {
  QJsonObject row{{"salt", "AAAAAAAAAAAAAAAAAAAAAA=="}};
  if (!publicKey.isNull()) row.insert("publicKey", base64(publicKey));
  if (!mac.isNull()) row.insert("mac", base64(mac));
  return QJsonDocument(row).toJson(QJsonDocument::Compact);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OfferingStatus,
    ::testing::Values(StatusRow{"notFound", 404, "{}", Failure::gone},
                      StatusRow{"unauthorised", 401, "{}", std::nullopt},
                      StatusRow{"serverError", 500, "{}", std::nullopt},
                      StatusRow{"unreadableRow", 200, "nonsense", std::nullopt},
                      StatusRow{"keyWithoutMac", 200, rowWith(QByteArray(32, 'k'), {}), std::nullopt},
                      StatusRow{"macWithoutKey", 200, rowWith({}, QByteArray(32, 'm')), std::nullopt},
                      StatusRow{"macOneByteShort", 200, rowWith(QByteArray(32, 'k'), QByteArray(31, 'm')),
                                Failure::badProof},
                      StatusRow{"keyNotBase64", 200,
                                "{\"salt\":\"AA==\",\"publicKey\":\"%%\",\"mac\":\"AA==\"}",
                                Failure::badProof}),
    [](const auto& info) { return std::string(info.param.name); });

class ClaimStatus : public SyncPairingTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(ClaimStatus, ClaimWaitsOnNotFoundAndEndsOnGone) {
  const StatusRow& row = GetParam();
  service.script("POST", kClaim, Reply::raw(row.status, row.body, "application/json"));
  const QByteArray privateKey = crypto::x25519Generate()->privateKey;
  std::optional<QString> key;
  EXPECT_EQ(pairingFailureOf([&] { key = test::wait(joining.pairing.claim(kCode, privateKey)); }),
            row.failure);
  EXPECT_EQ(key, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ClaimStatus,
    ::testing::Values(StatusRow{"notFound", 404, "{}", std::nullopt},
                      StatusRow{"serverError", 503, "{}", std::nullopt},
                      StatusRow{"gone", 410, "{}", Failure::gone},
                      StatusRow{"noNonce", 200, "{\"senderPublicKey\":\"AA==\",\"handover\":\"AA==\"}",
                                Failure::sealFailed},
                      StatusRow{"fieldNotBase64", 200,
                                "{\"senderPublicKey\":\"AA==\",\"handover\":\"A\\nA==\",\"nonce\":\"AA==\"}",
                                Failure::sealFailed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SyncPairingTest, WithoutASessionTokenEachStepFailsAsItsSideExpects) {
  deleteKeychainString(offering.keychain, sessionTokenAccount());
  deleteKeychainString(joining.keychain, sessionTokenAccount());
  EXPECT_EQ(pairingFailureOf([&] { test::wait(joining.pairing.answer(kCode)); }), Failure::noPairing);
  EXPECT_EQ(pairingFailureOf([&] { test::wait(joining.pairing.claim(kCode, QByteArray(32, 'k'))); }),
            Failure::gone);
  EXPECT_EQ(pairingFailureOf([&] { test::wait(offering.pairing.fetchAnswer(kCode, salt)); }), Failure::gone);
  test::wait(offering.pairing.close());
  EXPECT_TRUE(service.requests().isEmpty()) << "nothing is sent without a token";
}

TEST_F(SyncPairingTest, CloseDeletesThePairingAndIgnoresTheAnswer) {
  test::wait(offering.pairing.open(salt));
  service.script("DELETE", kPairings, Reply::error(500));
  test::wait(offering.pairing.close());
  EXPECT_EQ(service.count("DELETE", kPairings), 1);
  test::wait(offering.pairing.close());
  EXPECT_EQ(sync.pairing(kAccount), std::nullopt);
}

TEST(SyncPairingHandover, OpensOnlyExactNonceAndTagLengths) {
  const auto joiner = crypto::x25519Generate();
  const SyncPairing::Handover sealed = SyncPairing::sealHandover(kKey, joiner->publicKey, kCode);
  EXPECT_EQ(SyncPairing::openHandover(sealed, joiner->privateKey, kCode), kKey);

  SyncPairing::Handover shortNonce = sealed;
  shortNonce.nonce = base64(QByteArray::fromBase64(sealed.nonce.toLatin1()).left(11));
  EXPECT_THROW(SyncPairing::openHandover(shortNonce, joiner->privateKey, kCode), SyncPairing::CipherError);

  SyncPairing::Handover shortTag = sealed;
  const QByteArray full = QByteArray::fromBase64(sealed.handover.toLatin1());
  shortTag.handover = base64(full.right(15));
  EXPECT_THROW(SyncPairing::openHandover(shortTag, joiner->privateKey, kCode), SyncPairing::CipherError);
  shortTag.handover = base64(full.left(full.size() - 1));
  EXPECT_THROW(SyncPairing::openHandover(shortTag, joiner->privateKey, kCode), SyncPairing::CipherError);

  EXPECT_THROW(SyncPairing::sealHandover(kKey, joiner->publicKey.left(31), kCode), SyncPairing::CipherError);
}

TEST(SyncPairingHandover, AKeyThatIsNotTextIsASealFailure) {
  const auto joiner = crypto::x25519Generate();
  const auto sender = crypto::x25519Generate();
  const QByteArray secret = *crypto::x25519SharedSecret(sender->privateKey, joiner->publicKey);
  const QByteArray nonce(12, '\x01');
  const auto sealed =
      crypto::aesGcmSeal(SyncPairing::handoverKey(secret, kCode), nonce, QByteArray("\xff\xfe"), {});
  const SyncPairing::Handover handover{base64(sender->publicKey), base64(sealed->ciphertext + sealed->tag),
                                       base64(nonce)};
  EXPECT_EQ(pairingFailureOf([&] { SyncPairing::openHandover(handover, joiner->privateKey, kCode); }),
            Failure::sealFailed);
}

TEST(SyncPairingProof, ComparesLengthThenEveryByte) {
  const QByteArray proof(32, 'p');
  EXPECT_TRUE(SyncPairing::sameProof(proof, proof));
  EXPECT_FALSE(SyncPairing::sameProof(proof, proof.left(31)));
  QByteArray last = proof;
  last[31] = 'q';
  EXPECT_FALSE(SyncPairing::sameProof(proof, last));
}

TEST(SyncPairingSalt, AFailingRandomSourceOpensNoPairing) {
  const test::RandomSourceFailing failing;
  EXPECT_THROW(SyncPairing::makeSalt(), crypto::RandomSourceFailure);
}

}  // namespace
}  // namespace pm
