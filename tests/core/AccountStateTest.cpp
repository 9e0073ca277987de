#include <gtest/gtest.h>

#include "core/AccountState.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

TEST(AccountState, TheFourShapesRoundTrip) {
  const struct {
    AccountState state;
    const char* json;
  } table[] = {
      {AccountState::signedOut(), R"({"signedOut":{}})"},
      {AccountState::waiting(), R"({"waiting":{}})"},
      {AccountState::waiting({QStringLiteral("WDJB-MJHT"), QStringLiteral("https://example.com/device"),
                              QStringLiteral("https://example.com/device?user_code=WDJB-MJHT")}),
       R"({"waiting":{"userCode":"WDJB-MJHT","verificationUri":"https://example.com/device",)"
       R"("verificationUriComplete":"https://example.com/device?user_code=WDJB-MJHT"}})"},
      {AccountState::signedIn(QStringLiteral("ada@example.com"), true),
       R"({"signedIn":{"email":"ada@example.com","subscribed":true}})"},
      {AccountState::failed(AccountState::Failure::expired), R"({"failed":{"_0":"expired"}})"},
      {AccountState::failed(AccountState::Failure::denied), R"({"failed":{"_0":"denied"}})"},
      {AccountState::failed(AccountState::Failure::network), R"({"failed":{"_0":"network"}})"},
      {AccountState::failed(AccountState::Failure::keychain), R"({"failed":{"_0":"keychain"}})"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.json);
    EXPECT_EQ(row.state.toJson(), QByteArray(row.json));
    EXPECT_EQ(AccountState::fromJson(row.json), row.state);
  }
}

TEST(AccountState, DecodingTable) {
  const struct {
    const char* json;
    std::optional<AccountState> expected;
  } table[] = {
      {R"({"signedOut":{},"waiting":{}})", std::nullopt},
      {R"({})", std::nullopt},
      {R"({"signedIn":{"email":"a@b.c"}})", std::nullopt},
      {R"({"signedIn":{"email":"a@b.c","subscribed":"true"}})", std::nullopt},
      {R"({"signedIn":{"email":"a@b.c","subscribed":false},"unrelated":1})",
       AccountState::signedIn(QStringLiteral("a@b.c"), false)},
      {R"({"failed":{"_0":"lost"}})", std::nullopt},
      {R"({"failed":"expired"})", std::nullopt},
      {R"({"waiting":{"ignored":true}})", AccountState::waiting()},
      // A code part that is no text reads as missing; the state still waits.
      {R"({"waiting":{"userCode":7,"verificationUri":"https://example.com/device"}})",
       AccountState::waiting({QString(), QStringLiteral("https://example.com/device"), QString()})},
      {R"({"waiting":[]})", std::nullopt},
      {R"(["signedOut"])", std::nullopt},
      {"not json", std::nullopt},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.json);
    EXPECT_EQ(AccountState::fromJson(row.json), row.expected);
  }
  QString error;
  AccountState::fromJson(R"({"signedOut":{},"waiting":{}})", &error);
  EXPECT_EQ(error, QStringLiteral("Invalid number of keys found, expected one."));
}

TEST(AccountState, Equality) {
  EXPECT_NE(AccountState::waiting(), AccountState::signedOut());
  EXPECT_NE(AccountState::signedIn(QStringLiteral("a"), true), AccountState::signedIn(QStringLiteral("a"), false));
  EXPECT_NE(AccountState::signedIn(QStringLiteral("a"), true), AccountState::signedIn(QStringLiteral("b"), true));
  EXPECT_NE(AccountState::failed(AccountState::Failure::denied), AccountState::failed(AccountState::Failure::expired));
}

TEST(AccountState, SaveStoresThenSignalsAndLoadFallsBackToSignedOut) {
  MemorySharedDefaults defaults;
  LocalSignals signals;
  EXPECT_EQ(AccountState::load(defaults), AccountState::signedOut());

  const AccountState state = AccountState::signedIn(QStringLiteral("ada@example.com"), true);
  state.save(defaults, signals);
  EXPECT_EQ(signals.posted(), QStringList{QStringLiteral("com.wrenfold.Parcelmoor.accountChanged")});
  EXPECT_EQ(defaults.dataValue(QStringLiteral("accountState")), state.toJson());
  EXPECT_EQ(AccountState::load(defaults), state);

  defaults.set(QStringLiteral("accountState"), QByteArray(R"({"signedIn":{"email":"x"}})"));
  EXPECT_EQ(AccountState::load(defaults), AccountState::signedOut());
  defaults.set(QStringLiteral("accountState"), QString::fromLatin1(state.toJson()));
  EXPECT_EQ(AccountState::load(defaults), AccountState::signedOut()) << "the state is stored as data, not text";
}

}  // namespace
}  // namespace pm
