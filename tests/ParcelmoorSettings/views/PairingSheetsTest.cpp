#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "support/TestSupport.h"
#include "views/SyncCodeSheet.h"
#include "views/SyncJoinSheet.h"

namespace pm::settings {
namespace {

void screenshot(QWidget& widget, const QString& name) {
  QDir().mkpath(test::artifactsDirectory());
  widget.grab().save(QDir(test::artifactsDirectory()).filePath(name + QLatin1String(".png")));
}

// A join sheet on screen, recording what its three callbacks receive.
struct JoinSheetRig {
  explicit JoinSheetRig(bool joining = false)
      : sheet(
            joining, [this](const QString& code) { submitted.append(code); },
            [this](const QString& key) { recovered.append(key); }, [this] { ++cancelled; }) {
    sheet.show();
  }
  QLineEdit* field() const { return sheet.findChild<QLineEdit*>(QStringLiteral("syncJoinSheet.field")); }
  QPushButton* join() const { return sheet.findChild<QPushButton*>(QStringLiteral("syncJoinSheet.join")); }
  QPushButton* modeSwitch() const {
    return sheet.findChild<QPushButton*>(QStringLiteral("syncJoinSheet.modeSwitch"));
  }
  void type(const QString& text) const {
    field()->clear();
    QTest::keyClicks(field(), text);
  }
  void pressReturn() const { QTest::keyClick(field(), Qt::Key_Return); }

  QStringList submitted;
  QStringList recovered;
  int cancelled = 0;
  SyncJoinSheet sheet;
};

// What the window manager is told of a sheet: a dialog with a title and a close button, of a size it
// cannot change, wide enough for the title beside the title bar's buttons.
void expectDialogOfItsOwnSize(QDialog& sheet) {
  SCOPED_TRACE(sheet.windowTitle().toStdString());
  ASSERT_TRUE(test::runUntil([&] { return sheet.isVisible(); }, std::chrono::seconds(30)));
  const Qt::WindowFlags flags = sheet.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_EQ(sheet.minimumSize(), sheet.maximumSize());
  EXPECT_EQ(sheet.size(), sheet.minimumSize());
  // The title bar shows the program's name after the title, as the settings program names itself.
  const QString shown = sheet.windowTitle() + QStringLiteral(" \u2014 ") + QGuiApplication::applicationDisplayName();
  EXPECT_EQ(PairingSheet::titleBarText(sheet.windowTitle()), shown);
  QFont bold = QApplication::font("QMdiSubWindowTitleBar");
  bold.setBold(true);
  EXPECT_GE(sheet.width(), QFontMetrics(bold).horizontalAdvance(shown) + 100);
  EXPECT_GE(sheet.width(), PairingSheet::kWidth);
}

// Names the program as the settings program does, while it lives.
class ProgramName {
 public:
  explicit ProgramName(const QString& name) : previous_(QGuiApplication::applicationDisplayName()) {
    QGuiApplication::setApplicationDisplayName(name);
  }
  ~ProgramName() { QGuiApplication::setApplicationDisplayName(previous_); }

 private:
  QString previous_;
};

TEST(PairingSheetTest, BothSheetsAreDialogsOfTheirOwnSize) {
  const ProgramName name(QStringLiteral("Parcelmoor Settings"));
  SyncCodeSheet code(QStringLiteral("K7Q2PZ"), [] {});
  code.show();
  expectDialogOfItsOwnSize(code);

  JoinSheetRig join;
  expectDialogOfItsOwnSize(join.sheet);
  join.modeSwitch()->click();
  expectDialogOfItsOwnSize(join.sheet);
  EXPECT_EQ(join.sheet.windowTitle(), QStringLiteral("Restore sync"));

  // A title that ends with the program's name is shown as it is.
  EXPECT_EQ(PairingSheet::titleBarText(QStringLiteral("About Parcelmoor Settings")),
            QStringLiteral("About Parcelmoor Settings"));

  // A title longer than the sheet (a translation, larger text) widens it.
  const QString longTitle(60, QLatin1Char('W'));
  code.setWindowTitle(longTitle);
  expectDialogOfItsOwnSize(code);
  EXPECT_GT(code.width(), PairingSheet::kWidth);
}

TEST(SyncCodeSheetTest, ShowsTheCodeInTwoGroupsAndOnlyAsksToCancel) {
  int cancelled = 0;
  SyncCodeSheet sheet(QStringLiteral("K7Q2PZ"), [&] { ++cancelled; });
  sheet.show();
  EXPECT_EQ(sheet.findChild<QLabel*>(QStringLiteral("syncCodeSheet.code"))->text(), QStringLiteral("K7Q-2PZ"));
  screenshot(sheet, QStringLiteral("settings-sync-code-sheet"));

  QTest::keyClick(&sheet, Qt::Key_Escape);
  sheet.findChild<QPushButton*>(QStringLiteral("pairing.cancel"))->click();
  sheet.close();
  EXPECT_EQ(cancelled, 3);
  // Only the agent's state takes the sheet down.
  EXPECT_TRUE(sheet.isVisible());
}

TEST(SyncJoinSheetTest, ReadinessCountsTheNormalisedText) {
  struct Case {
    bool keyMode;
    const char* typed;
    bool ready;
    const char* delivered;
  };
  const Case cases[] = {
      {false, "ab c12 3", true, "ABC123"},
      {false, "ABC-123", true, "ABC123"},
      {false, "ABC-1234", false, nullptr},  // a seventh character
      {false, "ABC-12U", false, nullptr},   // U is not in the alphabet: five remain
      {false, "ABC12", false, nullptr},
      {true, "ABCD-EFGH-JKMN-PQRS-TVWX", true, "ABCDEFGHJKMNPQRSTVWX"},
      {true, "abcd efgh jkmn pqrs tvwx", true, "ABCDEFGHJKMNPQRSTVWX"},
      {true, "ABCD-EFGH-JKMN-PQRS-TVW", false, nullptr},
      {true, "ABC123", false, nullptr},  // a pairing code is no key
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.keyMode ? "key " : "code ") << c.typed);
    JoinSheetRig rig;
    if (c.keyMode) rig.modeSwitch()->click();
    rig.type(QString::fromUtf8(c.typed));
    EXPECT_EQ(rig.sheet.isReady(), c.ready);
    EXPECT_EQ(rig.join()->isEnabled(), c.ready);

    rig.pressReturn();
    rig.join()->click();
    const QStringList& wanted = c.keyMode ? rig.recovered : rig.submitted;
    const QStringList& other = c.keyMode ? rig.submitted : rig.recovered;
    EXPECT_TRUE(other.isEmpty());
    if (c.ready) {
      // Return and the button each hand over the normalised text once.
      EXPECT_EQ(wanted, QStringList({QString::fromLatin1(c.delivered), QString::fromLatin1(c.delivered)}));
    } else {
      EXPECT_TRUE(wanted.isEmpty());
    }
  }
}

TEST(SyncJoinSheetTest, SwitchingTheModeEmptiesTheFieldAndRenamesTheSheet) {
  JoinSheetRig rig;
  screenshot(rig.sheet, QStringLiteral("settings-sync-join-sheet-code"));
  EXPECT_EQ(rig.join()->text(), QStringLiteral("Join"));
  EXPECT_EQ(rig.field()->placeholderText(), QStringLiteral("ABC-123"));

  rig.type(QStringLiteral("ABC"));
  rig.modeSwitch()->click();
  EXPECT_TRUE(rig.sheet.isRecovering());
  EXPECT_TRUE(rig.field()->text().isEmpty());
  EXPECT_EQ(rig.join()->text(), QStringLiteral("Restore"));
  EXPECT_EQ(rig.field()->placeholderText(), QStringLiteral("XXXX-XXXX-XXXX-XXXX-XXXX"));
  EXPECT_EQ(rig.modeSwitch()->text(), QStringLiteral("Enter a code instead\u2026"));
  rig.type(QStringLiteral("ABCD-EFGH-JK"));
  screenshot(rig.sheet, QStringLiteral("settings-sync-join-sheet-key"));

  // Back to a code: the half-typed key is gone.
  rig.modeSwitch()->click();
  EXPECT_FALSE(rig.sheet.isRecovering());
  EXPECT_TRUE(rig.field()->text().isEmpty());
  EXPECT_EQ(rig.modeSwitch()->text(), QStringLiteral("Use a recovery kit instead\u2026"));
}

TEST(SyncJoinSheetTest, WhileJoiningNothingCanBeSubmittedButCancel) {
  JoinSheetRig rig;
  rig.type(QStringLiteral("ABC123"));
  rig.sheet.setJoining(true);
  screenshot(rig.sheet, QStringLiteral("settings-sync-join-sheet-joining"));

  EXPECT_FALSE(rig.field()->isEnabled());
  EXPECT_EQ(rig.field()->text(), QStringLiteral("ABC123"));  // what was typed stays on show
  EXPECT_FALSE(rig.join()->isEnabled());
  EXPECT_FALSE(rig.modeSwitch()->isVisible());
  EXPECT_TRUE(rig.sheet.findChild<QWidget*>(QStringLiteral("syncJoinSheet.waiting"))->isVisible());
  rig.pressReturn();
  QTest::keyClick(&rig.sheet, Qt::Key_Return);
  rig.sheet.submit();
  EXPECT_TRUE(rig.submitted.isEmpty());

  QTest::keyClick(&rig.sheet, Qt::Key_Escape);
  EXPECT_EQ(rig.cancelled, 1);
  EXPECT_TRUE(rig.sheet.isVisible());

  // A failed join opens the sheet for input again with the same text.
  rig.sheet.setJoining(false);
  EXPECT_TRUE(rig.join()->isEnabled());
}

}  // namespace
}  // namespace pm::settings
