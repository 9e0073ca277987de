#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QUuid>

#include <gtest/gtest.h>

#include "core/S3Credentials.h"
#include "core/SessionToken.h"
#include "platform/Keychain.h"
#include "platform/SecretServiceLibrary.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

// Every behaviour runs against the in-memory fake and the real Secret Service (gnome-keyring on the test's
// private session bus), so the fake cannot drift from what the programs really get.
class KeychainKinds : public ::testing::TestWithParam<bool> {
 protected:
  KeychainKinds() {
    if (GetParam()) {
      keychain = std::make_unique<SecretServiceKeychain>();
    } else {
      keychain = std::make_unique<MemoryKeychain>();
    }
  }
  void TearDown() override {
    keychain->remove(S3Credentials::keychainService(), S3Credentials::keychainAccount(id));
    deleteKeychainString(*keychain, tokenAccount);
  }
  std::unique_ptr<Keychain> keychain;
  QUuid id = QUuid::createUuid();
  // The programs use only "session-token"; tests run in parallel on one keyring, so each takes its own.
  QString tokenAccount = QStringLiteral("session-token-") + QUuid::createUuid().toString(QUuid::Id128);
};

TEST_P(KeychainKinds, StoreLoadReplaceRemove) {
  const QString service = QStringLiteral("com.wrenfold.Parcelmoor.test");
  const QString account = QUuid::createUuid().toString();
  EXPECT_EQ(keychain->find(service, account).status, Keychain::Status::NotFound);
  ASSERT_TRUE(keychain->store(service, account, QByteArray("first\0bytes", 11)));
  EXPECT_EQ(keychain->load(service, account), QByteArray("first\0bytes", 11));
  ASSERT_TRUE(keychain->store(service, account, "second"));
  EXPECT_EQ(keychain->load(service, account), QByteArray("second"));
  EXPECT_EQ(keychain->load(service + QLatin1String(".other"), account), std::nullopt);
  EXPECT_TRUE(keychain->remove(service, account));
  EXPECT_EQ(keychain->load(service, account), std::nullopt);
  EXPECT_TRUE(keychain->remove(service, account)) << "removing an absent item is no failure";
}

TEST_P(KeychainKinds, SessionToken) {
  EXPECT_EQ(sessionTokenAccount(), QStringLiteral("session-token"));
  const QString account = tokenAccount;
  EXPECT_EQ(loadKeychainString(*keychain, account), std::nullopt);
  EXPECT_TRUE(storeKeychainString(*keychain, QStringLiteral("tok-1"), account));
  EXPECT_TRUE(storeKeychainString(*keychain, QStringLiteral("tok-2"), account));
  EXPECT_EQ(loadKeychainString(*keychain, account), QStringLiteral("tok-2"));
  EXPECT_EQ(keychain->load(QStringLiteral("com.wrenfold.Parcelmoor"), account),
            QByteArray("tok-2"));
  storeKeychainString(*keychain, std::nullopt, account);
  EXPECT_EQ(loadKeychainString(*keychain, account), std::nullopt);
}

TEST_P(KeychainKinds, SessionTokenThatIsNotUtf8ReadsAsAbsent) {
  keychain->store(QStringLiteral("com.wrenfold.Parcelmoor"), tokenAccount, QByteArray("\xff\xfe", 2));
  EXPECT_EQ(loadKeychainString(*keychain, tokenAccount), std::nullopt);
}

TEST_P(KeychainKinds, S3CredentialsSaveLoadAndDelete) {
  EXPECT_EQ(S3Credentials::load(*keychain, id), std::nullopt);
  ASSERT_TRUE(S3Credentials::save(*keychain, S3Credentials{QStringLiteral("AK1"), QStringLiteral("S1")}, id));
  ASSERT_TRUE(S3Credentials::save(*keychain, S3Credentials{QStringLiteral("AK2"), QStringLiteral("S2")}, id));
  EXPECT_EQ(S3Credentials::load(*keychain, id), (S3Credentials{QStringLiteral("AK2"), QStringLiteral("S2")}));
  EXPECT_EQ(keychain->load(QStringLiteral("com.wrenfold.Parcelmoor.s3"), id.toString(QUuid::WithoutBraces).toUpper()),
            QByteArray(R"({"accessKeyID":"AK2","secretAccessKey":"S2"})"));

  const std::optional<S3Credentials> deleting[] = {
      std::nullopt,
      S3Credentials{QStringLiteral("AK"), QString()},
      S3Credentials{QString(), QStringLiteral("S")},
  };
  for (const auto& credentials : deleting) {
    ASSERT_TRUE(S3Credentials::save(*keychain, S3Credentials{QStringLiteral("AK"), QStringLiteral("S")}, id));
    EXPECT_TRUE(S3Credentials::save(*keychain, credentials, id));
    EXPECT_EQ(S3Credentials::load(*keychain, id), std::nullopt);
  }
}

TEST_P(KeychainKinds, S3CredentialsAreFoundOnlyUnderTheUpperCaseId) {
  keychain->store(S3Credentials::keychainService(), id.toString(QUuid::WithoutBraces).toLower(),
                  S3Credentials{QStringLiteral("AK"), QStringLiteral("S")}.toJson());
  EXPECT_EQ(S3Credentials::load(*keychain, id), std::nullopt);
  keychain->remove(S3Credentials::keychainService(), id.toString(QUuid::WithoutBraces).toLower());
}

TEST_P(KeychainKinds, S3CredentialsOfAnotherShapeReadAsAbsent) {
  for (const QByteArray& stored : {QByteArray("not json"), QByteArray(R"({"accessKeyID":"AK"})"),
                                   QByteArray(R"({"accessKeyID":"AK","secretAccessKey":7})")}) {
    keychain->store(S3Credentials::keychainService(), S3Credentials::keychainAccount(id), stored);
    EXPECT_EQ(S3Credentials::load(*keychain, id), std::nullopt) << stored.constData();
  }
  keychain->store(S3Credentials::keychainService(), S3Credentials::keychainAccount(id),
                  R"({"secretAccessKey":"","accessKeyID":"","extra":1})");
  EXPECT_EQ(S3Credentials::load(*keychain, id), (S3Credentials{QString(), QString()})) << "load accepts empty fields";
}

INSTANTIATE_TEST_SUITE_P(FakeAndSecretService, KeychainKinds, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "SecretService" : "Memory"; });

TEST(MemoryKeychain, FailingKeychainStoresNothingAndReadsNothing) {
  MemoryKeychain keychain;
  keychain.setFailing(true);
  const QUuid id = QUuid::createUuid();
  EXPECT_FALSE(S3Credentials::save(keychain, S3Credentials{QStringLiteral("AK"), QStringLiteral("S")}, id));
  EXPECT_FALSE(storeKeychainString(keychain, QStringLiteral("tok"), sessionTokenAccount()));
  EXPECT_EQ(keychain.find(QStringLiteral("s"), QStringLiteral("a")).status, Keychain::Status::Failed);
  keychain.setFailing(false);
  EXPECT_EQ(keychain.itemCount(), 0);
}

}  // namespace
}  // namespace pm

namespace pm {
namespace {

TEST(SecretServiceKeychain, WithoutASecretServiceEveryCallFailsAndNothingIsWrittenElsewhere) {
  test::TempRoot root;
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + root.file(QStringLiteral("no-bus")));
  env.insert(QStringLiteral("HOME"), root.path());
  env.insert(QStringLiteral("XDG_DATA_HOME"), root.file(QStringLiteral("data")));
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.file(QStringLiteral("config")));
  child.setProcessEnvironment(env);
  child.start(QStringLiteral(PM_KEYCHAIN_PROBE), {});
  ASSERT_TRUE(child.waitForFinished(30'000));
  EXPECT_EQ(child.readAllStandardOutput().trimmed(), QByteArray("store=0 find=Failed"));
  EXPECT_TRUE(child.readAllStandardError().contains("Keychain write failed")) << "the failure is logged";
  EXPECT_TRUE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
      << "no plaintext fallback may leave a file behind";
}

// libsecret is opened only when a keychain needs it: to write, and to read what the bus alone cannot tell.
// A system without it (or with something else under its name) still reads unlocked items, byte for byte,
// and every write fails saying why, as with a Secret Service that does not answer.
TEST(SecretServiceKeychain, WithoutLibsecretReadsOverTheBusAndEveryWriteFailsAndSaysWhy) {
  const struct {
    const char* library;
    const char* why;
  } cases[] = {
      {"libparcelmoor-nowhere.so.0", "libsecret could not be loaded: libparcelmoor-nowhere.so.0"},
      {"libm.so.6", "libsecret (libm.so.6) lacks secret_password_lookup_binary_sync"},
  };
  const QString service = QStringLiteral("com.wrenfold.Parcelmoor.test");
  const QString account = QUuid::createUuid().toString();
  const QByteArray stored("stored\0bytes\xff", 13);
  SecretServiceKeychain withLibsecret;
  ASSERT_TRUE(withLibsecret.store(service, account, stored));
  const auto removeStored = qScopeGuard([&] { withLibsecret.remove(service, account); });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.library);
    SecretServiceLibrary library(c.library);
    SecretServiceKeychain keychain(library);
    test::LogCapture log;
    EXPECT_EQ(keychain.load(service, account), stored);
    EXPECT_EQ(keychain.find(service, account + QLatin1String("-absent")).status, Keychain::Status::NotFound);
    EXPECT_FALSE(keychain.store(service, QStringLiteral("a"), "x"));
    EXPECT_FALSE(keychain.remove(service, account));
    EXPECT_EQ(library.functions(), nullptr);
    EXPECT_EQ(log.count(QStringLiteral("Keychain read failed for")), 0);
    for (const char* failure : {"Keychain write failed for", "Keychain delete failed for"})
      EXPECT_EQ(log.count(QString::fromLatin1(failure)), 1)
          << failure << ": " << log.lines().join(u'\n').toStdString();
    EXPECT_EQ(log.count(QString::fromLatin1(c.why)), 2) << log.lines().join(u'\n').toStdString();
  }
  EXPECT_EQ(withLibsecret.load(service, account), stored) << "a failed delete leaves the item";
}

}  // namespace
}  // namespace pm
