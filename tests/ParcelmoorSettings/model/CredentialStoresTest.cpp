#include <gtest/gtest.h>

#include <functional>

#include "QStringPrinting.h"
#include "connectors/FTPCredentials.h"
#include "connectors/OAuthCredentials.h"
#include "core/S3Credentials.h"
#include "platform/Keychain.h"

namespace pm::settings {
namespace {

// A keychain that deletes and reads but refuses every new item, as a locked or full one would.
class AddRefusingKeychain final : public Keychain {
 public:
  Lookup find(const QString& service, const QString& account) const override {
    return items.find(service, account);
  }
  bool store(const QString&, const QString&, const QByteArray&) override { return false; }
  bool remove(const QString& service, const QString& account) override {
    return items.remove(service, account);
  }

  MemoryKeychain items;
};

// One credential store as the settings program uses it: save a filled record, save a record with an empty
// required field, save none, and whether a record is stored.
struct Store {
  const char* name;
  std::function<bool(Keychain&, const QUuid&)> saveFilled;
  std::function<bool(Keychain&, const QUuid&)> saveEmptyField;
  std::function<bool(Keychain&, const QUuid&)> saveNone;
  std::function<bool(const Keychain&, const QUuid&)> isStored;
};

const Store kStores[] = {
    {"S3",
     [](Keychain& k, const QUuid& id) {
       return S3Credentials::save(k, S3Credentials{"AK", "secret"}, id);
     },
     [](Keychain& k, const QUuid& id) {
       return S3Credentials::save(k, S3Credentials{"AK", ""}, id);
     },
     [](Keychain& k, const QUuid& id) { return S3Credentials::save(k, std::nullopt, id); },
     [](const Keychain& k, const QUuid& id) { return S3Credentials::load(k, id).has_value(); }},
    {"FTP",
     [](Keychain& k, const QUuid& id) {
       return FTPCredentials::save(k, FTPCredentials{"user", "pass"}, id);
     },
     [](Keychain& k, const QUuid& id) {
       return FTPCredentials::save(k, FTPCredentials{"user", ""}, id);
     },
     [](Keychain& k, const QUuid& id) { return FTPCredentials::save(k, std::nullopt, id); },
     [](const Keychain& k, const QUuid& id) { return FTPCredentials::load(k, id).has_value(); }},
    {"OAuth",
     [](Keychain& k, const QUuid& id) {
       return OAuthCredentials::save(k, OAuthCredentials{"refresh", "a@example.com", "access", {}}, id,
                                     OAuthProvider::dropbox);
     },
     [](Keychain& k, const QUuid& id) {
       return OAuthCredentials::save(k, OAuthCredentials{"", "a@example.com", "access", {}}, id,
                                     OAuthProvider::dropbox);
     },
     [](Keychain& k, const QUuid& id) {
       return OAuthCredentials::save(k, std::nullopt, id, OAuthProvider::dropbox);
     },
     [](const Keychain& k, const QUuid& id) {
       return OAuthCredentials::load(k, id, OAuthProvider::dropbox).has_value();
     }},
};

TEST(CredentialStores, AnEmptyFieldOrNoRecordRemovesWhatWasStoredAndCountsAsSuccess) {
  for (const Store& store : kStores) {
    SCOPED_TRACE(store.name);
    MemoryKeychain keychain;
    const QUuid id = QUuid::createUuid();
    ASSERT_TRUE(store.saveFilled(keychain, id));
    EXPECT_TRUE(store.isStored(keychain, id));
    EXPECT_TRUE(store.saveEmptyField(keychain, id));
    EXPECT_FALSE(store.isStored(keychain, id));
    ASSERT_TRUE(store.saveFilled(keychain, id));
    EXPECT_TRUE(store.saveNone(keychain, id));
    EXPECT_FALSE(store.isStored(keychain, id));
  }
}

TEST(CredentialStores, ARefusedSaveKeepsTheStoredSecret) {
  for (const Store& store : kStores) {
    SCOPED_TRACE(store.name);
    AddRefusingKeychain keychain;
    const QUuid id = QUuid::createUuid();
    ASSERT_TRUE(store.saveFilled(keychain.items, id));

    EXPECT_FALSE(store.saveFilled(keychain, id));

    EXPECT_TRUE(store.isStored(keychain, id));
  }
}

}  // namespace
}  // namespace pm::settings
