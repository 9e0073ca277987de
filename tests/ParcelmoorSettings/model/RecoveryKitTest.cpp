#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include "QStringPrinting.h"
#include "core/AccountState.h"
#include "model/GroupedText.h"
#include "model/RecoveryKit.h"
#include "support/TestSupport.h"

namespace pm::settings {
namespace {

const QString kAdvice = QStringLiteral(
    "If you lose every device that syncs, sign in on a new one, turn sync on, and choose \"Use a recovery kit\". "
    "This key unlocks your synced apps \u2014 we cannot recover it for you, so keep this file somewhere safe.");

TEST(GroupedTextTest, CutsFromTheStartAndLeavesTheRemainderLast) {
  struct Case {
    QString text;
    int size;
    QString grouped;
  };
  const Case cases[] = {
      {QStringLiteral("ABC123"), 3, QStringLiteral("ABC-123")},
      {QStringLiteral("ABCDEFGHJKMNPQRSTVWX"), 4, QStringLiteral("ABCD-EFGH-JKMN-PQRS-TVWX")},
      {QStringLiteral("ABC123"), 4, QStringLiteral("ABC1-23")},
      {QStringLiteral("AB"), 4, QStringLiteral("AB")},
      {QString(), 4, QString()},
      // A character is what the reader sees: an accent or an emoji of two code units stays with its group.
      {QStringLiteral("e\u0301e\u0301e\u0301x"), 3, QStringLiteral("e\u0301e\u0301e\u0301-x")},
      {QStringLiteral("\U0001F511\U0001F511a"), 2, QStringLiteral("\U0001F511\U0001F511-a")},
  };
  for (const Case& c : cases) EXPECT_EQ(groupedText(c.text, c.size), c.grouped) << c.text.toStdString();
}

TEST(RecoveryKitTest, TheEightLinesNameTheAccountAndGroupTheKeyByFour) {
  struct Case {
    AccountState account;
    const char* accountLine;
  };
  const Case cases[] = {
      {AccountState::signedIn(QStringLiteral("ada@example.com"), true), "Account: ada@example.com"},
      // Without an address (or when not signed in) the kit still says whose it is in general terms.
      {AccountState::signedIn(QString(), false), "Account: Your Parcelmoor account"},
      {AccountState::signedOut(), "Account: Your Parcelmoor account"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.accountLine);
    const QString expected = QStringLiteral("Parcelmoor Recovery Kit\n\n") + QString::fromUtf8(c.accountLine) +
                             QStringLiteral("\n\nSync key:\nABCD-EFGH-JKMN-PQRS-TVWX\n\n") + kAdvice;
    EXPECT_EQ(recoveryKitText(QStringLiteral("ABCDEFGHJKMNPQRSTVWX"), c.account), expected);
  }
  EXPECT_EQ(recoveryKitText(QStringLiteral("ABC123"), AccountState::signedOut()).split(QLatin1Char('\n')).at(5),
            QStringLiteral("ABC1-23"));
}

TEST(RecoveryKitTest, TheFileIsForItsOwnerOnlyAndReplacesAnOldOne) {
  const test::TempRoot root;
  const QString path = root.write(QStringLiteral("Parcelmoor Recovery Kit.txt"), "an older kit, longer than the new");
  QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
  const QString text = recoveryKitText(QStringLiteral("ABCDEFGHJKMNPQRSTVWX"), AccountState::signedOut());

  ASSERT_TRUE(writeRecoveryKit(path, text));

  QFile written(path);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_EQ(written.readAll(), text.toUtf8());
  struct stat status {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
}

TEST(RecoveryKitTest, AFolderThatCannotBeWrittenLeavesNothingAndSaysWhy) {
  const test::TempRoot root;
  QString error;
  EXPECT_FALSE(writeRecoveryKit(root.file(QStringLiteral("missing/kit.txt")), QStringLiteral("x"), &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(root.file(QStringLiteral("missing/kit.txt"))));
}

}  // namespace
}  // namespace pm::settings
