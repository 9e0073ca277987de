#include <gtest/gtest.h>

#include "connectors/FTPCredentials.h"
#include "core/Identifiers.h"
#include "platform/Keychain.h"

namespace pm {
namespace {

TEST(FTPCredentialsTest, StoredAsJsonUnderTheConnectionsUpperCaseId) {
  MemoryKeychain keychain;
  const QUuid id = QUuid::createUuid();
  ASSERT_TRUE(FTPCredentials::save(keychain, FTPCredentials{QStringLiteral("ann"), QStringLiteral("pw \"x\"")}, id));

  const auto stored = keychain.load(QStringLiteral("com.wrenfold.Parcelmoor.ftp"), uuidText(id));
  ASSERT_TRUE(stored);
  EXPECT_EQ(FTPCredentials::fromJson(*stored), (FTPCredentials{QStringLiteral("ann"), QStringLiteral("pw \"x\"")}));
  EXPECT_EQ(uuidText(id), uuidText(id).toUpper());
  EXPECT_EQ(FTPCredentials::load(keychain, id), (FTPCredentials{QStringLiteral("ann"), QStringLiteral("pw \"x\"")}));
}

TEST(FTPCredentialsTest, SavingAnIncompleteLoginOnlyDeletes) {
  const std::optional<FTPCredentials> incomplete[] = {
      std::nullopt,
      FTPCredentials{QString(), QStringLiteral("pw")},
      FTPCredentials{QStringLiteral("ann"), QString()},
  };
  for (const auto& credentials : incomplete) {
    MemoryKeychain keychain;
    const QUuid id = QUuid::createUuid();
    ASSERT_TRUE(FTPCredentials::save(keychain, FTPCredentials{QStringLiteral("ann"), QStringLiteral("pw")}, id));
    EXPECT_TRUE(FTPCredentials::save(keychain, credentials, id));
    EXPECT_EQ(keychain.itemCount(), 0);
    EXPECT_FALSE(FTPCredentials::load(keychain, id));
  }
}

TEST(FTPCredentialsTest, UnreadableItemsLoadAsNothing) {
  MemoryKeychain keychain;
  const QUuid id = QUuid::createUuid();
  for (const QByteArray& data : {QByteArray("not json"), QByteArray(R"({"username":"ann"})"),
                                 QByteArray(R"({"username":1,"password":"pw"})")}) {
    keychain.store(FTPCredentials::keychainService(), FTPCredentials::keychainAccount(id), data);
    EXPECT_FALSE(FTPCredentials::load(keychain, id)) << data.constData();
  }
}

}  // namespace
}  // namespace pm
