#include <gtest/gtest.h>

#include "SyncRecords.h"
#include "support/TestSupport.h"

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

// The offering computer waits five minutes for an answer; a pairing it left open (it was stopped, or lost
// its connection before it could close it) must not keep a joining computer waiting for a handover.
TEST(SyncRecords, APairingExpiresWhenItsOfferCanNoLongerBeWaitingAndARestartKeepsItsTime) {
  test::ManualClock clock;
  SyncRecords records(&clock);
  records.openPairing(kAda, {{"salt", "c2FsdA=="}});
  clock.advance(std::chrono::seconds(SyncRecords::kPairingLifetimeSeconds - 1));
  EXPECT_EQ(records.getPairing(kAda).status, 200);
  SyncRecords restored(&clock);
  restored.load(records.toJson());
  EXPECT_EQ(restored.putPairing(kAda, answerBody()).status, 200);

  clock.advance(std::chrono::seconds(1));
  for (SyncRecords* side : {&records, &restored}) {
    EXPECT_EQ(side->getPairing(kAda).status, 404) << "a joining computer learns at once: no pairing";
    EXPECT_EQ(side->putPairing(kAda, answerBody()).status, 404);
    EXPECT_EQ(side->putPairing(kAda, kHandover).status, 404);
    EXPECT_EQ(side->claim(kAda).status, 410);
    EXPECT_TRUE(side->toJson().value("pairings").toObject().isEmpty());
  }
  EXPECT_EQ(records.openPairing(kAda, {{"salt", "bmV3"}}).status, 201) << "a new offer opens afresh";
  EXPECT_EQ(records.getPairing(kAda).body, (QJsonObject{{"salt", "bmV3"}}));

  // Kept by a version that did not note the time: nobody can still be waiting for it.
  SyncRecords earlier(&clock);
  earlier.load(QJsonObject{{"pairings", QJsonObject{{kAda, QJsonObject{{"salt", "c2FsdA=="}}}}}});
  EXPECT_EQ(earlier.getPairing(kAda).status, 404);
}

}  // namespace
}  // namespace pm::dev
