#include <gtest/gtest.h>

#include "QStringPrinting.h"
#include "connectors/OAuthCredentials.h"
#include "model/OAuthSupport.h"
#include "support/TestSupport.h"

namespace pm::settings {
namespace {

TEST(OAuthSupport, AProviderIsConfiguredOnlyWithARealClientIdentifier) {
  struct Case {
    std::optional<QString> value;
    bool configured;
  };
  const Case cases[] = {
      {QStringLiteral("client-1"), true},
      {QString(), false},
      {std::nullopt, false},
      {QStringLiteral("$(MICROSOFT_CLIENT_ID)"), false},
  };
  for (const OAuthProvider provider :
       {OAuthProvider::google, OAuthProvider::microsoft, OAuthProvider::dropbox}) {
    for (const Case& c : cases) {
      QHash<QString, QString> values;
      if (c.value) values.insert(clientIDKey(provider), *c.value);
      EXPECT_EQ(isOAuthClientConfigured(provider, BundleInfo(values)), c.configured)
          << providerName(provider).toStdString() << " "
          << c.value.value_or(QStringLiteral("<none>")).toStdString();
    }
  }
  EXPECT_EQ(clientIDKey(OAuthProvider::google), QStringLiteral("GOOGLE_CLIENT_ID"));
  EXPECT_EQ(clientIDKey(OAuthProvider::microsoft), QStringLiteral("MICROSOFT_CLIENT_ID"));
  EXPECT_EQ(clientIDKey(OAuthProvider::dropbox), QStringLiteral("DROPBOX_APP_KEY"));
}

TEST(OAuthSupport, EveryFailureHasItsMessage) {
  EXPECT_EQ(message(OAuthFailure::refused(QStringLiteral("invalid_grant: Token has been revoked."))),
            QStringLiteral("invalid_grant: Token has been revoked."));
  EXPECT_EQ(message(OAuthFailure::notConfigured()),
            QStringLiteral("This build cannot connect an account: it was made without a client id."));
  EXPECT_EQ(message(OAuthFailure::noAnswer()), QStringLiteral("The browser never came back."));
  EXPECT_EQ(message(OAuthFailure::badResponse()), QStringLiteral("The answer could not be read."));
}

TEST(OAuthSupport, EachDriveKindSignsInWithItsProvider) {
  EXPECT_EQ(oauthProvider(UploaderConfig::Kind::googleDrive), OAuthProvider::google);
  EXPECT_EQ(oauthProvider(UploaderConfig::Kind::oneDrive), OAuthProvider::microsoft);
  EXPECT_EQ(oauthProvider(UploaderConfig::Kind::dropbox), OAuthProvider::dropbox);
  EXPECT_EQ(oauthProvider(UploaderConfig::Kind::ftp), std::nullopt);
}

TEST(OAuthSupport, AnAccessTokenIsFreshForMoreThanAnotherMinute) {
  const test::ManualClock clock;
  struct Case {
    const char* accessToken;
    qint64 expiresInSeconds;
    bool fresh;
  };
  const Case cases[] = {
      {"token", 61, true},
      {"token", 60, false},
      {"token", -5, false},
      {"", 3600, false},
  };
  for (const Case& c : cases) {
    const OAuthCredentials credentials{QStringLiteral("refresh"), QStringLiteral("a@example.com"),
                                       QString::fromLatin1(c.accessToken),
                                       clock.now().addSecs(c.expiresInSeconds)};
    EXPECT_EQ(credentials.isFresh(clock.now()), c.fresh) << c.accessToken << " " << c.expiresInSeconds;
  }
}

}  // namespace
}  // namespace pm::settings
