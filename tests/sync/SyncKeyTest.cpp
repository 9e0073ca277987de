#include <QRegularExpression>

#include <libsecret/secret.h>

#include <gtest/gtest.h>

#include "platform/Crypto.h"
#include "platform/Keychain.h"
#include "support/TestSupport.h"
#include "sync/SyncKey.h"

namespace pm {
namespace {

const QString kService = QStringLiteral("com.wrenfold.Parcelmoor.sync");
const QString kAccount = QStringLiteral("sync-key");

// How many Secret Service items hold the sync key: a save must leave one, never two.
int secretServiceItemCount() {
  static const SecretSchema schema = {"com.wrenfold.Parcelmoor.GenericPassword",
                                      SECRET_SCHEMA_DONT_MATCH_NAME,
                                      {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr};
  GError* error = nullptr;
  GList* items = secret_password_search_sync(&schema, SECRET_SEARCH_ALL, nullptr, &error, "service",
                                             "com.wrenfold.Parcelmoor.sync", "account", "sync-key", nullptr);
  if (error) {
    ADD_FAILURE() << error->message;
    g_error_free(error);
    return -1;
  }
  const int count = int(g_list_length(items));
  g_list_free_full(items, g_object_unref);
  return count;
}

// The whole life of the one sync key item, in one test per keychain: the item has a fixed name, so the
// steps must not run in parallel with each other on the shared keyring.
class SyncKeyStorage : public ::testing::TestWithParam<bool> {
 protected:
  SyncKeyStorage() {
    if (realKeychain()) {
      keychain = std::make_unique<SecretServiceKeychain>();
    } else {
      keychain = std::make_unique<MemoryKeychain>();
    }
    deleteSyncKey(*keychain);
  }
  ~SyncKeyStorage() override { deleteSyncKey(*keychain); }
  bool realKeychain() const { return GetParam(); }
  int itemCount() const {
    return realKeychain() ? secretServiceItemCount() : static_cast<MemoryKeychain&>(*keychain).itemCount();
  }

  std::unique_ptr<Keychain> keychain;
};

TEST_P(SyncKeyStorage, KeepsTheKeyTextExactlyInOneItem) {
  EXPECT_EQ(loadSyncKey(*keychain), std::nullopt);
  EXPECT_TRUE(saveSyncKey(*keychain, std::nullopt)) << "saving none with none stored";
  EXPECT_EQ(itemCount(), 0);

  for (const QString& key :
       {QStringLiteral("7K2MXQ9PDRT4VB8N3WHC"), QStringLiteral("abc-def ÄÖ "), QStringLiteral("x")}) {
    SCOPED_TRACE(key.toStdString());
    ASSERT_TRUE(saveSyncKey(*keychain, key));
    EXPECT_EQ(loadSyncKey(*keychain), key);
    EXPECT_EQ(keychain->load(kService, kAccount), key.toUtf8()) << "UTF-8 without a terminator";
  }
  ASSERT_TRUE(saveSyncKey(*keychain, QStringLiteral("SECOND0000000000000Z")));
  EXPECT_EQ(itemCount(), 1);
  EXPECT_EQ(loadSyncKey(*keychain), QStringLiteral("SECOND0000000000000Z"));

  EXPECT_TRUE(saveSyncKey(*keychain, QString())) << "an empty key is no key";
  EXPECT_EQ(loadSyncKey(*keychain), std::nullopt);

  ASSERT_TRUE(saveSyncKey(*keychain, QStringLiteral("7K2MXQ9PDRT4VB8N3WHC")));
  deleteSyncKey(*keychain);
  EXPECT_EQ(itemCount(), 0);
  deleteSyncKey(*keychain);

  ASSERT_TRUE(keychain->store(kService, kAccount, QByteArray("\xff\xfe key", 6)));
  EXPECT_EQ(loadSyncKey(*keychain), std::nullopt) << "bytes that are not UTF-8";
}

INSTANTIATE_TEST_SUITE_P(Keychains, SyncKeyStorage, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "SecretService" : "Memory"; });

TEST(SyncKey, AFailingKeychainIsReportedOnlyWhenAKeyWasToBeStored) {
  MemoryKeychain keychain;
  keychain.setFailing(true);
  EXPECT_FALSE(saveSyncKey(keychain, QStringLiteral("NEW0000000000000000Z")));
  EXPECT_TRUE(saveSyncKey(keychain, std::nullopt));
  EXPECT_EQ(loadSyncKey(keychain), std::nullopt);
}

TEST(SyncKey, NewKeysAreTwentyAlphabetCharacters) {
  const QRegularExpression alphabetOnly(QStringLiteral("^[0-9ABCDEFGHJKMNPQRSTVWXYZ]{20}$"));
  QSet<QString> seen;
  for (int i = 0; i < 100; ++i) {
    const QString key = makeSyncKey();
    EXPECT_TRUE(alphabetOnly.match(key).hasMatch()) << key.toStdString();
    seen.insert(key);
  }
  EXPECT_EQ(seen.size(), 100);
}

TEST(SyncKey, AFailingRandomSourceMakesNoKey) {
  const test::RandomSourceFailing failing;
  EXPECT_THROW(makeSyncKey(), crypto::RandomSourceFailure);
}

}  // namespace
}  // namespace pm
