#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "connectors/FormEncoding.h"
#include "connectors/OAuthCredentials.h"
#include "connectors/OAuthTokenResponse.h"
#include "connectors/Pkce.h"
#include "platform/Clock.h"
#include "platform/Crypto.h"
#include "platform/Keychain.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

const QUuid kConnection(QStringLiteral("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"));

OAuthCredentials credentials(QString refresh, QDateTime expiresAt = QDateTime::fromSecsSinceEpoch(1'800'000'000)) {
  return OAuthCredentials{std::move(refresh), QStringLiteral("me@example.com"), QStringLiteral("access"),
                          std::move(expiresAt)};
}

TEST(OAuthCredentialsTest, FreshnessNeedsAnAccessTokenAndMoreThanAMinute) {
  const QDateTime now = QDateTime::fromSecsSinceEpoch(1'700'000'000);
  OAuthCredentials stored = credentials(QStringLiteral("r"));
  stored.expiresAt = now.addSecs(61);
  EXPECT_TRUE(stored.isFresh(now));
  stored.expiresAt = now.addSecs(59);
  EXPECT_FALSE(stored.isFresh(now));
  stored.expiresAt = now.addSecs(3600);
  stored.accessToken.clear();
  EXPECT_FALSE(stored.isFresh(now));
  EXPECT_FALSE(OAuthCredentials{}.isFresh(now));
}

TEST(OAuthCredentialsTest, JsonUsesTheFieldNamesAndSecondsSince2001) {
  const OAuthCredentials stored = credentials(QStringLiteral("r"), QDateTime::fromSecsSinceEpoch(978'307'200 + 1000));
  const QJsonObject json = QJsonDocument::fromJson(stored.toJson()).object();
  EXPECT_EQ(json.keys(), (QStringList{QStringLiteral("accessToken"), QStringLiteral("account"),
                                      QStringLiteral("expiresAt"), QStringLiteral("refreshToken")}));
  EXPECT_EQ(json.value(QStringLiteral("expiresAt")).toDouble(), 1000.0);
  EXPECT_EQ(OAuthCredentials::fromJson(stored.toJson()), stored);

  for (const char* unreadable : {R"({"refreshToken":"r","account":"a","accessToken":"t"})",
                                 R"({"refreshToken":"r","account":"a","accessToken":"t","expiresAt":"soon"})",
                                 R"({"refreshToken":1,"account":"a","accessToken":"t","expiresAt":0})", "[]", "x"}) {
    SCOPED_TRACE(unreadable);
    EXPECT_FALSE(OAuthCredentials::fromJson(unreadable));
  }
}

TEST(OAuthCredentialsTest, SavedPerProviderAndConnectionAndDeletedByAnEmptyRefreshToken) {
  MemoryKeychain keychain;
  const OAuthCredentials stored = credentials(QStringLiteral("r"));
  ASSERT_TRUE(OAuthCredentials::save(keychain, stored, kConnection, OAuthProvider::google));
  EXPECT_TRUE(keychain.load(QStringLiteral("com.wrenfold.Parcelmoor.google"),
                            QStringLiteral("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0")));
  EXPECT_EQ(OAuthCredentials::load(keychain, kConnection, OAuthProvider::google), stored);
  EXPECT_FALSE(OAuthCredentials::load(keychain, kConnection, OAuthProvider::dropbox));
  EXPECT_EQ(keychainService(OAuthProvider::microsoft), QStringLiteral("com.wrenfold.Parcelmoor.microsoft"));

  EXPECT_TRUE(OAuthCredentials::save(keychain, credentials(QString()), kConnection, OAuthProvider::google));
  EXPECT_FALSE(OAuthCredentials::load(keychain, kConnection, OAuthProvider::google));
  EXPECT_EQ(keychain.itemCount(), 0);
}

TEST(OAuthCredentialsTest, ARefusedWriteKeepsTheWorkingTokens) {
  MemoryKeychain keychain;
  const OAuthCredentials working = credentials(QStringLiteral("old"));
  ASSERT_TRUE(OAuthCredentials::save(keychain, working, kConnection, OAuthProvider::google));
  keychain.setFailing(true);
  EXPECT_FALSE(OAuthCredentials::save(keychain, credentials(QStringLiteral("new")), kConnection, OAuthProvider::google));
  keychain.setFailing(false);
  EXPECT_EQ(OAuthCredentials::load(keychain, kConnection, OAuthProvider::google), working);
}

TEST(PkceTest, VerifiersAreFortyThreeUrlSafeCharactersAndChallengesAreS256) {
  static const QRegularExpression urlSafe(QStringLiteral("^[A-Za-z0-9_-]{43}$"));
  QSet<QString> seen;
  for (int i = 0; i < 200; ++i) {
    const QString verifier = makePKCEVerifier();
    EXPECT_TRUE(urlSafe.match(verifier).hasMatch()) << verifier.toStdString();
    seen.insert(verifier);
  }
  EXPECT_EQ(seen.size(), 200);
  // The example of RFC 7636, appendix B.
  EXPECT_EQ(pkceChallenge(QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")),
            QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
}

TEST(PkceTest, AFailingRandomSourceGivesNoVerifier) {
  const test::RandomSourceFailing failing;
  EXPECT_THROW(makePKCEVerifier(), std::runtime_error);
}

TEST(FormEncodingTest, TokenFormsKeepLettersDigitsAndFourMarks) {
  const struct {
    QString value;
    QString encoded;
  } table[] = {
      {QStringLiteral("abcXYZ019-._~"), QStringLiteral("abcXYZ019-._~")},
      {QStringLiteral("é"), QStringLiteral("é")},
      {QStringLiteral("a b"), QStringLiteral("a%20b")},
      {QStringLiteral("a&b=c/d"), QStringLiteral("a%26b%3Dc%2Fd")},
      {QStringLiteral("+:?#%"), QStringLiteral("%2B%3A%3F%23%25")},
      {QStringLiteral("😀"), QStringLiteral("%F0%9F%98%80")},
      {QString(QChar(0xD800)), QString()},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.value.toStdString());
    EXPECT_EQ(formEncodedPairs({{QStringLiteral("v"), row.value}}, isTokenFormCharacter),
              QStringList{QStringLiteral("v=") + row.encoded});
  }
  EXPECT_EQ(tokenRequestBody({{QStringLiteral("a"), QStringLiteral("1 2")}, {QStringLiteral("b"), QStringLiteral("é")}}),
            QStringLiteral("a=1%202&b=é").toUtf8());
}

TEST(OAuthTokenResponseTest, DecodesTheSnakeCaseKeys) {
  EXPECT_EQ(OAuthTokenResponse::decode(R"({"access_token":"a","expires_in":3599,"refresh_token":"r","id_token":"i"})"),
            (OAuthTokenResponse{QStringLiteral("a"), 3599, QStringLiteral("r"), QStringLiteral("i")}));
  EXPECT_EQ(OAuthTokenResponse::decode(R"({"access_token":"a","expires_in":10,"refresh_token":null})"),
            (OAuthTokenResponse{QStringLiteral("a"), 10, std::nullopt, std::nullopt}));
  EXPECT_EQ(OAuthTokenResponse::decode(R"({"access_token":"a","expires_in":0})"),
            (OAuthTokenResponse{QStringLiteral("a"), 0, std::nullopt, std::nullopt}));
  for (const char* unreadable : {R"({"expires_in":10})", R"({"access_token":"a"})",
                                 R"({"access_token":"a","expires_in":1.5})", R"({"access_token":"a","expires_in":"10"})",
                                 R"({"access_token":"a","expires_in":10,"refresh_token":5})", "[]", "<html>",
                                 R"({"access_token":"","expires_in":3599,"refresh_token":"r"})",
                                 R"({"access_token":"a","expires_in":-1,"refresh_token":"r"})"}) {
    SCOPED_TRACE(unreadable);
    EXPECT_FALSE(OAuthTokenResponse::decode(unreadable));
  }
}

}  // namespace
}  // namespace pm
