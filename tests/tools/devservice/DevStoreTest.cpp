#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "DevStore.h"
#include "support/TestSupport.h"

namespace pm::dev {
namespace {

QByteArray stateBytes(const QString& directory) {
  QFile file(directory + QStringLiteral("/state.json"));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(DevStore, KeepsOnlyAHashOfEachSessionTokenAndFindsTheSessionByIt) {
  test::TempRoot root;
  const QString directory = root.file(QStringLiteral("state"));
  QString token;
  {
    DevStore store(directory);
    token = store.createSession(QStringLiteral("ada@example.com"));
    ASSERT_TRUE(store.save());
  }
  const QByteArray saved = stateBytes(directory);
  ASSERT_FALSE(saved.isEmpty());
  EXPECT_FALSE(saved.contains(token.toUtf8())) << saved.toStdString();

  DevStore reopened(directory);
  EXPECT_EQ(reopened.sessionEmail(token), QStringLiteral("ada@example.com"));
  EXPECT_EQ(reopened.sessionEmail(token + QLatin1Char('x')), std::nullopt);
  reopened.endSession(token);
  EXPECT_EQ(reopened.sessionEmail(token), std::nullopt);
}

TEST(DevStore, ASessionKeptInClearByAnEarlierVersionGoesOnButIsWrittenAsAHash) {
  test::TempRoot root;
  const QString directory = root.file(QStringLiteral("state"));
  const QByteArray earlier =
      R"({"sessions":{"dev-session-0123456789abcdef":"grace@example.com"},"subscriptions":{"grace@example.com":false}})";
  root.write(QStringLiteral("state/state.json"), earlier);

  DevStore store(directory);
  EXPECT_EQ(store.sessionEmail(QStringLiteral("dev-session-0123456789abcdef")),
            QStringLiteral("grace@example.com"));
  EXPECT_FALSE(stateBytes(directory).contains("dev-session-0123456789abcdef")) << "written again at once";
  EXPECT_EQ(DevStore(directory).sessionEmail(QStringLiteral("dev-session-0123456789abcdef")),
            QStringLiteral("grace@example.com"));
  EXPECT_EQ(store.subscriptions.value(QStringLiteral("grace@example.com"), true), false);
}

}  // namespace
}  // namespace pm::dev
