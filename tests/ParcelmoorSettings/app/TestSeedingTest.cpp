#include <gtest/gtest.h>

#include <optional>

#include "app/TestSeeding.h"
#include "platform/SharedDefaults.h"

namespace pm::settings {
namespace {

const QString kAccount = QStringLiteral("accountState");
const QString kSync = QStringLiteral("syncState");

TEST(TestSeedingTest, StoresOnlyStrictBase64OfATestRun) {
  const QByteArray accountJson = R"({"signedIn":{"email":"a@example.com","subscribed":true}})";
  const QString account = QString::fromLatin1(accountJson.toBase64());
  const QString sync = QString::fromLatin1(QByteArray("not even JSON").toBase64());
  struct Case {
    const char* name;
    bool testSuite;
    std::optional<QString> accountVariable;
    std::optional<QString> syncVariable;
    std::optional<QByteArray> storedAccount;
    std::optional<QByteArray> storedSync;
  };
  const Case cases[] = {
      {"both", true, account, sync, accountJson, QByteArray("not even JSON")},
      {"no test suite", false, account, sync, std::nullopt, std::nullopt},
      {"sync alone", true, std::nullopt, sync, std::nullopt, QByteArray("not even JSON")},
      {"not Base64", true, QStringLiteral("e30=!"), QStringLiteral("not base64"), std::nullopt, std::nullopt},
      {"unpadded", true, QStringLiteral("e30"), std::nullopt, std::nullopt, std::nullopt},
      {"line break", true, QStringLiteral("e30=\n"), std::nullopt, std::nullopt, std::nullopt},
      {"empty value", true, QString(), std::nullopt, QByteArray(), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemorySharedDefaults defaults;
    const QByteArray before = "{\"signedOut\":{}}";
    defaults.set(kAccount, before);
    QProcessEnvironment environment;
    if (c.accountVariable) environment.insert(QStringLiteral("PARCELMOOR_TEST_ACCOUNT"), *c.accountVariable);
    if (c.syncVariable) environment.insert(QStringLiteral("PARCELMOOR_TEST_SYNC"), *c.syncVariable);

    seedTestState(defaults, environment, c.testSuite);

    EXPECT_EQ(defaults.dataValue(kAccount), c.storedAccount.value_or(before));
    EXPECT_EQ(defaults.dataValue(kSync), c.storedSync);
  }
}

}  // namespace
}  // namespace pm::settings
