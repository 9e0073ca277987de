#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include "../core/UploaderConfigPrinting.h"
#include "EnvelopeByHand.h"
#include "SyncMachine.h"
#include "SyncPayloadPrinting.h"
#include "core/UploadError.h"
#include "support/FakeServiceSync.h"
#include "support/TestSupport.h"
#include "sync/PayloadDates.h"
#include "sync/SealedEnvelope.h"

namespace pm {
namespace {

const QString kAccount = QStringLiteral("ada@example.com");
const QString kPath = QStringLiteral("sync/uploaders");
const QString kKey = QStringLiteral("7K2MXQ9PDRT4VB8N3WHC");

class SyncServiceTest : public ::testing::Test {
 protected:
  // Stores `json` as the service's copy, sealed under `kKey` as another computer would.
  void storeCopy(const QByteArray& json, qint64 version = 1) {
    const QByteArray envelope =
        test::sealByHand(json, kKey, 10'000, QByteArray(16, '\x11'), QByteArray(12, '\x22'));
    sync.setCopy(kAccount, QString::fromLatin1(envelope.toBase64()), version);
  }
  // The plaintext of the service's copy.
  QByteArray storedJson() const {
    const std::optional<QByteArray> json =
        test::openByHand(QByteArray::fromBase64(sync.copy(kAccount)->blob.toLatin1()), kKey);
    if (!json) throw std::runtime_error("the stored copy does not open");
    return *json;
  }
  SyncPayload storedCopy(const QString& key = kKey) const {
    const std::optional<dev::SyncRecords::Copy> copy = sync.copy(kAccount);
    if (!copy) throw std::runtime_error("no copy stored");
    return SyncStore::open(QByteArray::fromBase64(copy->blob.toLatin1()), key);
  }
  QStringList storedNames() const {
    QStringList names;
    for (const SyncEntry& entry : storedCopy().uploaders) names.append(entry.config.name);
    return names;
  }

  test::ManualClock clock{QDateTime(QDate(2024, 3, 1), QTime(10, 0), QTimeZone::utc())};
  test::FakeService service;
  test::FakeServiceSync sync{service};
  test::SyncMachine a{service, service.createSession(kAccount, true), clock};
  test::SyncMachine b{service, service.createSession(kAccount, true), clock};
};

TEST_F(SyncServiceTest, AnEmptyServiceGivesNothingAndNothingIsWritten) {
  for (const char* answer :
       {"{\"version\":0}", "{\"version\":3,\"blob\":null}", "{\"version\":3,\"blob\":\"@@@@\"}",
        "{\"version\":3,\"blob\":\"QUJD\\nREVG\"}"}) {
    service.script("GET", kPath, test::FakeService::Reply::raw(200, answer, "application/json"));
    a.defaults.written.clear();
    a.keychain.written.clear();
    EXPECT_EQ(test::wait(a.syncService.pull(kKey)), std::nullopt) << answer;
    EXPECT_TRUE(a.defaults.written.isEmpty()) << answer;
    EXPECT_TRUE(a.keychain.written.isEmpty()) << answer;
  }
  EXPECT_EQ(service.count("PUT", kPath), 0);
}

TEST_F(SyncServiceTest, APushReachesTheOtherComputerWithItsCredentials) {
  const S3Credentials keys{QStringLiteral("AKIA1"), QStringLiteral("secret")};
  const UploaderConfig added = a.addS3(QStringLiteral("photos"), keys);
  EXPECT_EQ(test::wait(a.syncService.push(kKey)), 1);

  EXPECT_EQ(test::wait(b.syncService.pull(kKey)), 1) << "same content: no new version";
  EXPECT_EQ(b.names(), QStringList{QStringLiteral("photos")});
  EXPECT_EQ(S3Credentials::load(b.keychain, added.id), keys);
  EXPECT_EQ(service.count("PUT", kPath), 1);
}

TEST_F(SyncServiceTest, AConnectionOfTheSameIdAndDateKeepsThisComputersNameAndStoresIt) {
  const UploaderConfig remote = a.addS3(QStringLiteral("remote name"));
  test::wait(a.syncService.push(kKey));
  UploaderConfig local = remote;
  local.name = QStringLiteral("local name");
  b.settings.setUploaders(QList<UploaderConfig>{b.settings.uploaders().first(), local});

  EXPECT_EQ(test::wait(b.syncService.pull(kKey)), 2);
  EXPECT_EQ(b.names(), QStringList{QStringLiteral("local name")});
  EXPECT_EQ(storedNames(), QStringList{QStringLiteral("local name")});
}

TEST_F(SyncServiceTest, EqualContentInAnotherOrderIsAppliedAndNotStoredAgain) {
  const UploaderConfig first = a.addS3(QStringLiteral("first"));
  const UploaderConfig second = a.addS3(QStringLiteral("second"));
  test::wait(a.syncService.push(kKey));
  b.settings.setUploaders(QList<UploaderConfig>{b.settings.uploaders().first(), second, first});

  EXPECT_EQ(test::wait(b.syncService.pull(kKey)), 1);
  EXPECT_EQ(service.count("PUT", kPath), 1);
}

TEST_F(SyncServiceTest, AWrongKeyFailsBeforeAnythingIsApplied) {
  a.addS3(QStringLiteral("photos"));
  test::wait(a.syncService.push(kKey));
  b.defaults.written.clear();
  try {
    test::wait(b.syncService.pull(QStringLiteral("ZZZZZZZZZZZZZZZZZZZZ")));
    FAIL() << "opened with the wrong key";
  } catch (const PMRS1::Error& error) {
    EXPECT_EQ(error.failure(), PMRS1::Failure::wrongKey);
  }
  EXPECT_TRUE(b.defaults.written.isEmpty());
  EXPECT_TRUE(b.names().isEmpty());
}

TEST_F(SyncServiceTest, OnlyAReplacementStoresOverACopyUnderAnotherKey) {
  a.addS3(QStringLiteral("theirs"));
  test::wait(a.syncService.push(kKey));
  b.addS3(QStringLiteral("mine"));
  const QString otherKey = QStringLiteral("ZZZZZZZZZZZZZZZZZZZZ");
  try {
    test::wait(b.syncService.push(otherKey));
    FAIL() << "a copy under another key was replaced";
  } catch (const PMRS1::Error& error) {
    EXPECT_EQ(error.failure(), PMRS1::Failure::wrongKey);
  }
  EXPECT_EQ(service.count("PUT", kPath), 1);
  EXPECT_EQ(storedNames(), QStringList{QStringLiteral("theirs")});

  EXPECT_EQ(test::wait(b.syncService.replace(otherKey)), 2);
  ASSERT_EQ(storedCopy(otherKey).uploaders.size(), 1);
  EXPECT_EQ(storedCopy(otherKey).uploaders.first().config.name, QStringLiteral("mine"));
}

// The proof a computer needs before it hands its key to another: only a copy sealed under another key
// says no, and the check reads the copy without applying or storing anything.
TEST_F(SyncServiceTest, WhetherAKeyOpensTheCopyIsReadWithoutChangingAnything) {
  const auto sealed = [](const QByteArray& json, const QString& key) {
    return test::sealByHand(json, key, 10'000, QByteArray(16, '\x11'), QByteArray(12, '\x22'));
  };
  const QByteArray payload = R"({"uploaders":[]})";
  const QByteArray ownKey = sealed(payload, kKey);
  const QByteArray otherKey = sealed(payload, QStringLiteral("ZZZZZZZZZZZZZZZZZZZZ"));
  const QByteArray unreadable = sealed(R"({"uploaders":{"a":1}})", kKey);
  const struct {
    const char* copy;
    std::optional<QByteArray> envelope;
    bool opens;
  } cases[] = {
      {"no copy", std::nullopt, true},
      {"sealed under the key", ownKey, true},
      {"sealed under another key", otherKey, false},
      {"sealed under the key, settings this version cannot read", unreadable, true},
      {"no envelope", QByteArray("PMRS2 and then some more bytes than a header holds"), true},
  };
  b.addS3(QStringLiteral("mine"));
  for (const auto& row : cases) {
    SCOPED_TRACE(row.copy);
    if (row.envelope) {
      sync.setCopy(kAccount, QString::fromLatin1(row.envelope->toBase64()), 3);
    } else {
      service.script("GET", kPath, test::FakeService::Reply::raw(200, "{\"version\":0}", "application/json"));
    }
    b.defaults.written.clear();
    b.keychain.written.clear();
    EXPECT_EQ(test::wait(b.syncService.opensCopy(kKey)), row.opens);
    EXPECT_TRUE(b.defaults.written.isEmpty());
    EXPECT_TRUE(b.keychain.written.isEmpty());
  }
  EXPECT_EQ(service.count("PUT", kPath), 0);
}

TEST_F(SyncServiceTest, AStaleVersionIsRefusedAndEndsThePull) {
  a.addS3(QStringLiteral("first"));
  test::wait(a.syncService.push(kKey));
  // Another computer stores a copy between this one's read and its write.
  const QString blob = sync.copy(kAccount)->blob;
  service.script("GET", kPath, test::FakeService::Reply::json(QJsonObject{{"blob", blob}, {"version", 0}}));
  b.addS3(QStringLiteral("mine"));
  try {
    test::wait(b.syncService.pull(kKey));
    FAIL() << "a stale version was accepted";
  } catch (const UploadError& error) {
    EXPECT_TRUE(error.message().contains(QStringLiteral("newer settings"))) << error.message().toStdString();
  }
  EXPECT_EQ(sync.copy(kAccount)->version, 1);
  EXPECT_EQ(b.names(), (QStringList{QStringLiteral("mine"), QStringLiteral("first")}))
      << "the merge was applied before the store failed";
}

TEST_F(SyncServiceTest, ACredentialTheKeychainCannotReadStopsThePushAndThePull) {
  const S3Credentials keys{QStringLiteral("AKIA1"), QStringLiteral("secret")};
  a.addS3(QStringLiteral("photos"), keys);
  test::wait(a.syncService.push(kKey));
  test::wait(b.syncService.pull(kKey));
  service.clearLog();

  b.keychain.unreadableService = S3Credentials::keychainService();
  EXPECT_THROW(test::wait(b.syncService.push(kKey)), SyncStore::CredentialsUnreadable);
  EXPECT_EQ(service.requests().size(), 0) << "collected before anything is asked of the service";
  EXPECT_THROW(test::wait(b.syncService.pull(kKey)), SyncStore::CredentialsUnreadable);
  EXPECT_EQ(service.count("PUT", kPath), 0);
  EXPECT_EQ(storedCopy().uploaders.first().credentials, keys);
}

TEST_F(SyncServiceTest, ACredentialRenewedWithoutItsConnectionReachesAComputerThatHoldsIt) {
  const UploaderConfig added = a.addS3(QStringLiteral("photos"), S3Credentials{"AKIA1", "first"});
  test::wait(a.syncService.push(kKey));
  test::wait(b.syncService.pull(kKey));

  clock.advance(std::chrono::minutes(1));
  const S3Credentials renewed{QStringLiteral("AKIA1"), QStringLiteral("renewed")};
  S3Credentials::save(a.keychain, renewed, added.id);
  const qint64 version = test::wait(a.syncService.push(kKey));
  EXPECT_EQ(test::wait(b.syncService.pull(kKey)), version);
  EXPECT_EQ(S3Credentials::load(b.keychain, added.id), renewed);

  clock.advance(std::chrono::minutes(1));
  EXPECT_EQ(test::wait(b.syncService.pull(kKey)), version);
  EXPECT_EQ(test::wait(a.syncService.pull(kKey)), version) << "the credential does not travel back and forth";
}

// Computer a's drive sign-in renews while computer b renames the connection; a's collect dates the
// renewal before the rename in one row and after it in the other. Either way both computers and the copy
// end with b's name and a's renewed credential, and stay so.
TEST_F(SyncServiceTest, ARenewalOnOneComputerNeitherUndoesNorLosesAnEditMadeOnAnother) {
  for (const bool datedBeforeTheEdit : {true, false}) {
    SCOPED_TRACE(datedBeforeTheEdit ? "renewal dated before the edit" : "renewal dated after the edit");
    test::SyncMachine renewing{service, service.createSession(kAccount, true), clock};
    test::SyncMachine editing{service, service.createSession(kAccount, true), clock};
    const UploaderConfig shared = renewing.addS3(QStringLiteral("photos"), S3Credentials{"AKIA1", "first"});
    test::wait(renewing.syncService.push(kKey));
    test::wait(editing.syncService.pull(kKey));
    renewing.store.localPayload();  // the renewing computer has collected once since the connection came

    const S3Credentials renewed{QStringLiteral("AKIA1"), QStringLiteral("renewed")};
    clock.advance(std::chrono::minutes(1));
    S3Credentials::save(renewing.keychain, renewed, shared.id);
    if (datedBeforeTheEdit) test::wait(renewing.syncService.push(kKey));

    clock.advance(std::chrono::minutes(1));
    UploaderConfig renamed = shared;
    renamed.name = QStringLiteral("holiday photos");
    renamed.updatedAt = clock.now();
    editing.settings.setUploaders(QList<UploaderConfig>{editing.settings.uploaders().first(), renamed});
    test::wait(editing.syncService.push(kKey));

    clock.advance(std::chrono::minutes(1));
    test::wait(renewing.syncService.pull(kKey));
    test::wait(editing.syncService.pull(kKey));
    for (const test::SyncMachine* machine : {&renewing, &editing}) {
      EXPECT_EQ(machine->names(), QStringList{QStringLiteral("holiday photos")});
      EXPECT_EQ(S3Credentials::load(machine->keychain, shared.id), renewed);
    }
    EXPECT_EQ(storedNames(), QStringList{QStringLiteral("holiday photos")});
    EXPECT_EQ(storedCopy().uploaders.first().credentials, renewed);

    const qint64 settled = sync.copy(kAccount)->version;
    clock.advance(std::chrono::minutes(1));
    EXPECT_EQ(test::wait(renewing.syncService.pull(kKey)), settled);
    EXPECT_EQ(test::wait(editing.syncService.pull(kKey)), settled) << "nothing travels back and forth";
  }
}

// An earlier version reads the entries as they always were, moves a connection's own date on when it
// renews a credential, rewrites its entries without credential dates and hands back the top-level key it
// does not know. Its copies still merge here, and a date it carried along for credentials it has since
// replaced is not believed.
TEST_F(SyncServiceTest, ACopyAnEarlierVersionStoredMergesWithoutTrustingDatesItCarriedAlong) {
  const UploaderConfig shared = a.addS3(QStringLiteral("photos"), S3Credentials{"AKIA1", "first"});
  test::wait(a.syncService.push(kKey));
  test::wait(b.syncService.pull(kKey));
  const auto earlierVersion = [&](const std::function<void(QJsonObject & entry)>& change, bool carryDates) {
    QJsonObject copy = QJsonDocument::fromJson(storedJson()).object();
    ASSERT_TRUE(copy.contains(QStringLiteral("credentialChanges")));
    if (!carryDates) copy.remove(QStringLiteral("credentialChanges"));
    QJsonArray uploaders = copy.value(QStringLiteral("uploaders")).toArray();
    QJsonObject entry = uploaders.first().toObject();
    change(entry);
    uploaders.replace(0, entry);
    copy.insert(QStringLiteral("uploaders"), uploaders);
    storeCopy(QJsonDocument(copy).toJson(QJsonDocument::Compact), sync.copy(kAccount)->version + 1);
  };
  const auto at = [&](int minutes) {
    return *payloadDateText(clock.now().addSecs(60 * minutes));
  };

  // Renewed there, with the date of the credentials here still beside the entry.
  earlierVersion(
      [&](QJsonObject& entry) {
        entry.insert(QStringLiteral("credentials"),
                     QJsonObject{{QStringLiteral("accessKeyID"), QStringLiteral("AKIA1")},
                                 {QStringLiteral("secretAccessKey"), QStringLiteral("renewed there")}});
        QJsonObject config = entry.value(QStringLiteral("config")).toObject();
        config.insert(QStringLiteral("updatedAt"), at(2));
        entry.insert(QStringLiteral("config"), config);
      },
      true);
  clock.advance(std::chrono::minutes(3));
  test::wait(b.syncService.pull(kKey));
  EXPECT_EQ(S3Credentials::load(b.keychain, shared.id)->secretAccessKey, QStringLiteral("renewed there"));

  // Renamed there without dates, while the credentials here were renewed later.
  earlierVersion(
      [&](QJsonObject& entry) {
        QJsonObject config = entry.value(QStringLiteral("config")).toObject();
        config.insert(QStringLiteral("name"), QStringLiteral("holiday photos"));
        config.insert(QStringLiteral("updatedAt"), at(1));
        entry.insert(QStringLiteral("config"), config);
      },
      false);
  const S3Credentials renewedHere{QStringLiteral("AKIA1"), QStringLiteral("renewed here")};
  S3Credentials::save(b.keychain, renewedHere, shared.id);
  clock.advance(std::chrono::minutes(2));
  test::wait(b.syncService.pull(kKey));
  EXPECT_EQ(b.names(), QStringList{QStringLiteral("holiday photos")});
  EXPECT_EQ(S3Credentials::load(b.keychain, shared.id), renewedHere);
  EXPECT_EQ(storedCopy().uploaders.first().credentials, renewedHere);
  EXPECT_TRUE(storedCopy().uploaders.first().credentialsUpdatedAt) << "stored with its date again";
}

TEST_F(SyncServiceTest, APushWithoutConnectionsReplacesTheCopyWithAnEmptyList) {
  a.addS3(QStringLiteral("old"));
  test::wait(a.syncService.push(kKey));
  EXPECT_EQ(test::wait(b.syncService.push(kKey)), 2);
  EXPECT_TRUE(storedCopy().uploaders.isEmpty());
  EXPECT_TRUE(QByteArray(storedCopy().toJson()).contains("\"uploaders\":[]"));
}

TEST_F(SyncServiceTest, APreferenceChangedInTheSameSecondKeepsThisComputersValue) {
  const QDateTime now = clock.now();
  a.settings.applySyncedPreference(QStringLiteral("panelEdge"), QStringLiteral("top"), now);
  test::wait(a.syncService.push(kKey));
  b.settings.applySyncedPreference(QStringLiteral("panelEdge"), QStringLiteral("right"), now);
  test::wait(b.syncService.pull(kKey));
  EXPECT_EQ(b.defaults.object(QStringLiteral("panelEdge")).toString(), QStringLiteral("right"));
  EXPECT_EQ(storedCopy().preferences.value(QStringLiteral("panelEdge")).value, QStringLiteral("right"));
}

TEST_F(SyncServiceTest, WithoutASessionNothingIsSent) {
  deleteKeychainString(a.keychain, sessionTokenAccount());
  EXPECT_THROW(test::wait(a.syncService.push(kKey)), UploadError);
  EXPECT_EQ(service.count("GET", kPath), 0);
}

TEST_F(SyncServiceTest, WhatThisVersionCannotReadGoesBackToTheServiceUnchanged) {
  // Another computer's copy: one connection this version reads, one of a kind it does not know, one with
  // a field of another type, and a tombstone whose date it cannot read.
  SyncPayload readable;
  readable.uploaders.append(SyncEntry{a.addS3(QStringLiteral("shared")), {}, {}, {}, {}});
  QJsonObject copy = QJsonDocument::fromJson(readable.toJson()).object();
  const QByteArray newKind =
      R"({"config":{"id":"6A0B6C1D-0000-4000-8000-000000000001","kind":"warp","name":"teleporter",)"
      R"("updatedAt":"2024-03-01T09:00:00Z"},"warp":{"token":"t"}})";
  const QByteArray otherType =
      R"({"config":{"id":"6A0B6C1D-0000-4000-8000-000000000002","kind":"ftp","name":"box","port":"21",)"
      R"("updatedAt":"2024-03-01T09:00:00Z"}})";
  const QByteArray tombstone = R"("6A0B6C1D-0000-4000-8000-000000000003":"2024-02-01T10:00:00.5Z")";
  QJsonArray uploaders = copy.value(QStringLiteral("uploaders")).toArray();
  uploaders.append(QJsonDocument::fromJson(newKind).object());
  uploaders.append(QJsonDocument::fromJson(otherType).object());
  copy.insert(QStringLiteral("uploaders"), uploaders);
  copy.insert(QStringLiteral("deleted"), QJsonDocument::fromJson("{" + tombstone + "}").object());
  storeCopy(QJsonDocument(copy).toJson(QJsonDocument::Compact));
  const auto holdsAllThree = [&](const char* when) {
    const QByteArray json = storedJson();
    EXPECT_TRUE(json.contains(newKind)) << when << ": " << json.toStdString();
    EXPECT_TRUE(json.contains(otherType)) << when << ": " << json.toStdString();
    EXPECT_TRUE(json.contains(tombstone)) << when << ": " << json.toStdString();
  };

  b.addS3(QStringLiteral("mine"));
  EXPECT_EQ(test::wait(b.syncService.pull(kKey)), 2) << "the merge differs: it is stored";
  EXPECT_EQ(b.names(), (QStringList{QStringLiteral("mine"), QStringLiteral("shared")}));
  holdsAllThree("the pull's merge");

  b.addS3(QStringLiteral("later"));
  EXPECT_EQ(test::wait(b.syncService.push(kKey)), 3);
  holdsAllThree("the push");
  EXPECT_EQ(storedNames(),
            (QStringList{QStringLiteral("mine"), QStringLiteral("shared"), QStringLiteral("later")}));
}

TEST_F(SyncServiceTest, ACopyThatOpensButIsNoPayloadIsNeitherMergedNorReplaced) {
  storeCopy(R"({"uploaders":{"a":1}})", 4);
  b.addS3(QStringLiteral("mine"));
  for (const bool pushing : {false, true}) {
    SCOPED_TRACE(pushing ? "push" : "pull");
    try {
      if (pushing) {
        test::wait(b.syncService.push(kKey));
      } else {
        test::wait(b.syncService.pull(kKey));
      }
      FAIL() << "the copy was taken for a payload";
    } catch (const PMRS1::Error& error) {
      EXPECT_EQ(error.failure(), PMRS1::Failure::unreadablePayload);
    }
  }
  EXPECT_EQ(service.count("PUT", kPath), 0);
  EXPECT_EQ(sync.copy(kAccount)->version, 4);
  EXPECT_EQ(storedJson(), QByteArray(R"({"uploaders":{"a":1}})"));
}

}  // namespace
}  // namespace pm
