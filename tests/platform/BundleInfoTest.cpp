#include <gtest/gtest.h>

#include "platform/BundleInfo.h"

namespace pm {
namespace {

TEST(BundleInfoTest, UnexpandedAndMissingValuesReadAsEmpty) {
  const BundleInfo bundle({{QStringLiteral("SET"), QStringLiteral("abc.apps")},
                           {QStringLiteral("UNEXPANDED"), QStringLiteral("$(GOOGLE_CLIENT_ID)")},
                           {QStringLiteral("DOLLAR"), QStringLiteral("$abc")},
                           {QStringLiteral("EMPTY"), QString()}});
  EXPECT_EQ(infoPlistValue(bundle, QStringLiteral("SET")), QStringLiteral("abc.apps"));
  EXPECT_EQ(infoPlistValue(bundle, QStringLiteral("DOLLAR")), QStringLiteral("$abc"));
  EXPECT_EQ(infoPlistValue(bundle, QStringLiteral("UNEXPANDED")), QString());
  EXPECT_EQ(infoPlistValue(bundle, QStringLiteral("EMPTY")), QString());
  EXPECT_EQ(infoPlistValue(bundle, QStringLiteral("ABSENT")), QString());
}

TEST(BundleInfoTest, TheBuildCarriesEveryClientValue) {
  const BundleInfo built = BundleInfo::compiledIn();
  for (const char* key : {"GOOGLE_CLIENT_ID", "GOOGLE_CLIENT_SECRET", "DROPBOX_APP_KEY", "MICROSOFT_CLIENT_ID"}) {
    SCOPED_TRACE(key);
    // Set, or still the unexpanded "$(KEY)" of a build that was given none.
    const QString raw = built.rawValue(QString::fromLatin1(key));
    EXPECT_FALSE(raw.isEmpty());
    if (raw.startsWith(QLatin1String("$("))) {
      EXPECT_EQ(raw, QStringLiteral("$(%1)").arg(QLatin1String(key)));
    }
  }
}

TEST(BundleInfoTest, TheBuildCarriesItsVersion) {
  const BundleInfo built = BundleInfo::compiledIn();
  for (const char* key : {"CFBundleShortVersionString", "CFBundleVersion"}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(infoPlistValue(built, QString::fromLatin1(key)).isEmpty());
  }
}

}  // namespace
}  // namespace pm
