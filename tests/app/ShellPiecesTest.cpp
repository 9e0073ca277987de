#include <gtest/gtest.h>

#include "app/DisplayPlatform.h"
#include "app/PendingDriveConnect.h"
#include "platform/Keychain.h"

namespace pm {
namespace {

const QString kUuid = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");

struct PendingRow {
  QString value;
  std::optional<OAuthProvider> provider;
};

TEST(PendingDriveConnect, ReadsAUuidAndADriveKind) {
  const QList<PendingRow> rows{
      {kUuid + QStringLiteral("|googleDrive"), OAuthProvider::google},
      {kUuid + QStringLiteral("|oneDrive"), OAuthProvider::microsoft},
      {kUuid + QStringLiteral("|dropbox"), OAuthProvider::dropbox},
      {kUuid.toLower() + QStringLiteral("|dropbox"), OAuthProvider::dropbox},
      // Empty pieces before the first one do not count as a split.
      {QStringLiteral("|") + kUuid + QStringLiteral("|dropbox"), OAuthProvider::dropbox},
      // One split only: what follows the first "|" is the kind, whole.
      {kUuid + QStringLiteral("||dropbox"), std::nullopt},
      {kUuid + QStringLiteral("|dropbox|x"), std::nullopt},
      {kUuid + QStringLiteral("|icloud"), std::nullopt},
      {kUuid + QStringLiteral("|ftp"), std::nullopt},
      {kUuid + QStringLiteral("|GoogleDrive"), std::nullopt},
      {kUuid + QStringLiteral("|"), std::nullopt},
      {kUuid, std::nullopt},
      {QStringLiteral("x|dropbox"), std::nullopt},
      {QStringLiteral("{") + kUuid + QStringLiteral("}|dropbox"), std::nullopt},
      {QStringLiteral("|dropbox"), std::nullopt},
      {QString(), std::nullopt},
  };
  for (const PendingRow& row : rows) {
    const std::optional<PendingDriveConnect> parsed = PendingDriveConnect::parse(row.value);
    ASSERT_EQ(parsed.has_value(), row.provider.has_value()) << row.value.toStdString();
    if (parsed) {
      EXPECT_EQ(parsed->provider, *row.provider) << row.value.toStdString();
      EXPECT_EQ(parsed->connection, QUuid::fromString(kUuid));
    }
  }
}

struct DisplayRow {
  QStringList environment;
  std::optional<QByteArray> platform;
  bool problem;
  const char* mentions = nullptr;
};

TEST(DisplayPlatform, UsesX11WhereThereIsOneAndSaysWhatIsMissingOtherwise) {
  const QList<DisplayRow> rows{
      {{QStringLiteral("DISPLAY=:0")}, QByteArrayLiteral("xcb"), false},
      {{QStringLiteral("DISPLAY=:0"), QStringLiteral("WAYLAND_DISPLAY=wayland-0")},
       QByteArrayLiteral("xcb"),
       false},
      {{QStringLiteral("QT_QPA_PLATFORM=offscreen")}, std::nullopt, false},
      {{QStringLiteral("QT_QPA_PLATFORM=wayland"), QStringLiteral("DISPLAY=:0")}, std::nullopt, false},
      {{QStringLiteral("WAYLAND_DISPLAY=wayland-0")}, std::nullopt, true, "XWayland"},
      {{}, std::nullopt, true, "QT_QPA_PLATFORM=offscreen"},
      {{QStringLiteral("DISPLAY=")}, std::nullopt, true, "DISPLAY is not set"},
  };
  for (const DisplayRow& row : rows) {
    QProcessEnvironment environment;
    for (const QString& entry : row.environment) {
      const qsizetype equals = entry.indexOf(QLatin1Char('='));
      environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    const DisplayChoice choice = chooseDisplayPlatform(environment);
    const std::string label = row.environment.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(choice.platform, row.platform) << label;
    ASSERT_EQ(choice.problem.has_value(), row.problem) << label;
    if (row.mentions) {
      EXPECT_TRUE(choice.problem->contains(QLatin1String(row.mentions))) << label;
    }
  }
}

}  // namespace
}  // namespace pm
