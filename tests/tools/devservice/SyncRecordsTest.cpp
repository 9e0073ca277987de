#include <gtest/gtest.h>

#include "SyncRecords.h"

namespace pm::dev {
namespace {

const QString kAda = QStringLiteral("ada@example.com");
const QString kBob = QStringLiteral("bob@example.com");

QJsonObject answerBody(const QString& salt = QStringLiteral("c2FsdA==")) {
  return QJsonObject{{"publicKey", "cGs="}, {"mac", "bWFj"}, {"salt", salt}};
}
const QJsonObject kHandover{{"senderPublicKey", "cGs="}, {"handover", "aA=="}, {"nonce", "bg=="}};

TEST(SyncRecords, ACopyIsStoredOnlyOverTheVersionItWasReadAs) {
  SyncRecords records;
  EXPECT_EQ(records.getCopy(kAda).body, (QJsonObject{{"version", 0}}));
  EXPECT_EQ(records.putCopy(kAda, {{"blob", "b25l"}, {"version", 0}}).body, (QJsonObject{{"version", 1}}));
  const SyncRecords::Answer stale = records.putCopy(kAda, {{"blob", "dHdv"}, {"version", 0}});
  EXPECT_EQ(stale.status, 409);
  EXPECT_FALSE(stale.body.value("message").toString().isEmpty());
  EXPECT_EQ(records.getCopy(kAda).body, (QJsonObject{{"blob", "b25l"}, {"version", 1}}));
  EXPECT_EQ(records.putCopy(kAda, {{"blob", "dHdv"}}).status, 400);
  EXPECT_EQ(records.getCopy(kBob).body, (QJsonObject{{"version", 0}})) << "each account has its own copy";
}

TEST(SyncRecords, APairingTakesOneAnswerAndHandsItsHandoverOutOnce) {
  SyncRecords records;
  EXPECT_EQ(records.getPairing(kAda).status, 404);
  EXPECT_EQ(records.claim(kAda).status, 410);
  EXPECT_EQ(records.openPairing(kAda, {{"salt", "c2FsdA=="}}).status, 201);
  EXPECT_EQ(records.getPairing(kAda).body, (QJsonObject{{"salt", "c2FsdA=="}}));
  EXPECT_EQ(records.putPairing(kAda, kHandover).status, 409) << "nobody answered yet";
  EXPECT_EQ(records.putPairing(kAda, answerBody(QStringLiteral("b3RoZXI="))).status, 409) << "another salt";
  EXPECT_EQ(records.putPairing(kAda, answerBody()).status, 200);
  EXPECT_EQ(records.putPairing(kAda, answerBody()).status, 409) << "a second answer";
  EXPECT_EQ(records.getPairing(kAda).body.value("mac").toString(), QStringLiteral("bWFj"));
  EXPECT_EQ(records.claim(kAda).status, 404);
  EXPECT_EQ(records.putPairing(kAda, kHandover).status, 200);
  EXPECT_EQ(records.getPairing(kBob).status, 404) << "pairings are per account";
  EXPECT_EQ(records.claim(kAda).body, kHandover);
  EXPECT_EQ(records.claim(kAda).status, 410);
}

TEST(SyncRecords, ClosingAndSurvivingARestart) {
  SyncRecords records;
  records.putCopy(kAda, {{"blob", "b25l"}, {"version", 0}});
  records.openPairing(kAda, {{"salt", "c2FsdA=="}});
  records.putPairing(kAda, answerBody());
  SyncRecords restored;
  restored.load(records.toJson());
  EXPECT_EQ(restored.getCopy(kAda).body, records.getCopy(kAda).body);
  EXPECT_EQ(restored.getPairing(kAda).body, records.getPairing(kAda).body);
  EXPECT_EQ(restored.closePairing(kAda).status, 200);
  EXPECT_EQ(restored.getPairing(kAda).status, 404);
}

}  // namespace
}  // namespace pm::dev
