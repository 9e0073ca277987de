#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <memory>
#include <optional>

#include "ManualSchedule.h"
#include "SettingsWindowRig.h"
#include "core/AccountState.h"
#include "platform/Keychain.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"
#include "sync/SyncKey.h"
#include "sync/SyncState.h"
#include "views/AboutSyncPopover.h"
#include "views/AccountSettingsView.h"
#include "views/BreakableAddress.h"
#include "views/SaveFolder.h"
#include "views/Spinner.h"
#include "views/SyncTile.h"
#include "views/TextTone.h"

namespace pm::settings {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

QString signal(const char* name) {
  return QString::fromLatin1(name);
}

// The account page in a window of its own over a suite in memory, with the agent's two "changed" signals
// relayed as the program relays them, time that moves by hand, and the desktop replaced by recorders.
class AccountPageRig {
 public:
  AccountPageRig() {
    signals.observeDarwinNotification(signal(names::signal::kAccountChanged));
    signals.observeDarwinNotification(signal(names::signal::kSyncChanged));
  }

  // What the agent published before the page was made.
  void seed(const AccountState& account, const SyncState& sync = SyncState::off()) {
    account.save(defaults, signals);
    sync.save(defaults, signals);
    settle();
    signals.clearPosted();
  }

  AccountSettingsView& open() {
    AccountSettingsView::Environment environment;
    environment.openUrl = [this](const QUrl& url) { opened.append(url); };
    environment.serviceBase = QUrl(QStringLiteral("http://127.0.0.1:9/base"));
    environment.chooseSaveLocation = [this](QWidget*, const QString& fileName) {
      suggestedNames.append(fileName);
      return saveAt;
    };
    environment.reportError = [this](QWidget*, const QString& message) { errors.append(message); };
    environment.schedule = time.schedule();
    window = std::make_unique<QWidget>();
    window->resize(520, 420);
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    page = new AccountSettingsView(defaults, signals, keychain, environment);
    layout->addWidget(page);
    window->show();
    settle();
    return *page;
  }

  // The agent publishes a new state; the page hears of it through the signal.
  void publish(const AccountState& account) {
    account.save(defaults, signals);
    settle();
  }
  void publish(const SyncState& sync) {
    sync.save(defaults, signals);
    settle();
  }

  void settle() { pm::test::spin(milliseconds(10)); }

  template <typename T = QWidget>
  T* find(const char* objectName) const {
    T* found = page->findChild<T*>(QString::fromLatin1(objectName));
    if (!found) throw std::runtime_error(std::string("no widget ") + objectName);
    return found;
  }
  bool shown(const char* objectName) const { return find(objectName)->isVisible(); }
  QString text(const char* objectName) const { return find<QLabel>(objectName)->text(); }
  // As a reader takes it in, without the places where the line may break.
  QString status() const { return plainAddress(text("account.status")); }
  void click(const char* objectName) const { find<QAbstractButton>(objectName)->click(); }
  int posted(const char* name) const { return int(signals.posted().count(signal(name))); }

  void screenshot(const QString& name) const {
    QDir().mkpath(pm::test::artifactsDirectory());
    window->grab().save(QDir(pm::test::artifactsDirectory()).filePath(name + QLatin1String(".png")));
  }

  MemorySharedDefaults defaults;
  LocalSignals signals;
  MemoryKeychain keychain;
  test::ManualSchedule time;
  QList<QUrl> opened;
  std::optional<QString> saveAt;
  QStringList suggestedNames;
  QStringList errors;
  std::unique_ptr<QWidget> window;
  AccountSettingsView* page = nullptr;
};

const QString kGeneralSentence =
    QStringLiteral("Sync your Apps, Uploads and Settings across devices. All data is end-to-end encrypted.");

TEST(AccountSettingsViewTest, TheAccountRowsFollowThePublishedAccount) {
  struct Case {
    const char* name;
    AccountState account;
    QString status;
    const char* button;  // the one button of the row
    QString buttonText;
    bool subscriptionRow;
    QString subscription;
    const char* subscriptionButton;
  };
  const Case cases[] = {
      {"signed-out", AccountState::signedOut(), QStringLiteral("Not signed in"), "account.signIn",
       QStringLiteral("Sign In"), false, {}, nullptr},
      {"signed-in", AccountState::signedIn(QStringLiteral("ada@example.com"), false),
       QStringLiteral("ada@example.com"), "account.signOut", QStringLiteral("Sign Out"), true,
       QStringLiteral("Not subscribed"), "account.subscribe"},
      {"subscribed", AccountState::signedIn(QString(), true), QStringLiteral("Your Parcelmoor account"),
       "account.signOut", QStringLiteral("Sign Out"), true, QStringLiteral("Parcelmoor+"), "account.billing"},
      {"refused", AccountState::failed(AccountState::Failure::denied), QStringLiteral("Sign-in was refused"),
       "account.signIn", QStringLiteral("Try Again"), false, {}, nullptr},
      {"expired", AccountState::failed(AccountState::Failure::expired), QStringLiteral("The code expired"),
       "account.signIn", QStringLiteral("Try Again"), false, {}, nullptr},
      {"unreachable", AccountState::failed(AccountState::Failure::network),
       QStringLiteral("Could not reach Parcelmoor"), "account.signIn", QStringLiteral("Try Again"), false, {},
       nullptr},
      {"keychain", AccountState::failed(AccountState::Failure::keychain), keychainFailureMessage(),
       "account.signIn", QStringLiteral("Try Again"), false, {}, nullptr},
      // Appearing while the agent waits for the browser opens the loading window.
      {"waiting", AccountState::waiting(), QStringLiteral("Signing in\u2026"), "account.signingIn",
       QStringLiteral("Signing In\u2026"), false, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AccountPageRig rig;
    rig.seed(c.account);
    rig.open();
    rig.screenshot(QStringLiteral("settings-account-") + QLatin1String(c.name));

    EXPECT_EQ(rig.status(), c.status);
    for (const char* button : {"account.signIn", "account.signOut", "account.signingIn"})
      EXPECT_EQ(rig.shown(button), QLatin1String(button) == QLatin1String(c.button)) << button;
    // The signing-in button carries its text beside a spinner, in a label of its own.
    const QString buttonText = QLatin1String(c.button) == QLatin1String("account.signingIn")
                                   ? rig.text("account.signingInText")
                                   : rig.find<QPushButton>(c.button)->text();
    EXPECT_EQ(buttonText, c.buttonText);
    EXPECT_EQ(rig.find<QPushButton>("account.signingIn")->isEnabled(), false);
    EXPECT_EQ(rig.shown("account.subscriptionRow"), c.subscriptionRow);
    if (!c.subscriptionRow) continue;
    EXPECT_EQ(rig.text("account.subscriptionStatus"), c.subscription);
    EXPECT_TRUE(rig.shown(c.subscriptionButton));
    EXPECT_EQ(rig.shown("account.billing"), !rig.shown("account.subscribe"));
  }
}

TEST(AccountSettingsViewTest, AppearingAsksTheAgentForAFreshAccount) {
  AccountPageRig rig;
  rig.open();
  EXPECT_EQ(rig.posted(names::signal::kRefreshAccount), 1);
  rig.window->hide();
  rig.window->show();
  EXPECT_EQ(rig.posted(names::signal::kRefreshAccount), 2);
}

TEST(AccountSettingsViewTest, AQuickRefusalStillShowsSigningInUntilTenSecondsAfterThePress) {
  AccountPageRig rig;
  rig.open();
  rig.click("account.signIn");
  EXPECT_EQ(rig.posted(names::signal::kSignIn), 1);
  EXPECT_EQ(rig.status(), QStringLiteral("Signing in\u2026"));
  rig.screenshot(QStringLiteral("settings-account-signing-in"));

  rig.time.advanceTo(seconds(3));
  rig.publish(AccountState::failed(AccountState::Failure::denied));
  EXPECT_EQ(rig.status(), QStringLiteral("Signing in\u2026"));
  rig.time.advanceTo(seconds(10) - milliseconds(1));
  EXPECT_EQ(rig.status(), QStringLiteral("Signing in\u2026"));
  EXPECT_TRUE(rig.shown("account.signingIn"));

  rig.time.advanceTo(seconds(10));
  EXPECT_EQ(rig.status(), QStringLiteral("Sign-in was refused"));
  EXPECT_EQ(rig.find<QPushButton>("account.signIn")->text(), QStringLiteral("Try Again"));

  // Try Again signs in anew, with a window of its own.
  rig.click("account.signIn");
  EXPECT_EQ(rig.posted(names::signal::kSignIn), 2);
  EXPECT_EQ(rig.status(), QStringLiteral("Signing in\u2026"));
}

TEST(AccountSettingsViewTest, ASecondOpeningSixSecondsLaterKeepsSigningInUntilItsOwnEnd) {
  AccountPageRig rig;
  rig.seed(AccountState::failed(AccountState::Failure::network));
  rig.open();
  rig.click("account.signIn");
  rig.time.advanceTo(seconds(6));
  // The page comes back into view while the agent waits for the browser: a new window opens.
  rig.publish(AccountState::waiting());
  rig.window->hide();
  rig.window->show();
  rig.publish(AccountState::failed(AccountState::Failure::expired));

  rig.time.advanceTo(seconds(10));
  EXPECT_EQ(rig.status(), QStringLiteral("Signing in\u2026"));
  rig.time.advanceTo(seconds(16) - milliseconds(1));
  EXPECT_EQ(rig.status(), QStringLiteral("Signing in\u2026"));
  rig.time.advanceTo(seconds(16));
  EXPECT_EQ(rig.status(), QStringLiteral("The code expired"));
}

TEST(AccountSettingsViewTest, SigningInShowsAtOnceEvenWhileTheWindowIsOpen) {
  AccountPageRig rig;
  rig.open();
  rig.click("account.signIn");
  rig.publish(AccountState::signedIn(QStringLiteral("ada@example.com"), true));
  EXPECT_EQ(rig.status(), QStringLiteral("ada@example.com"));
  EXPECT_TRUE(rig.shown("account.signOut"));

  // A waiting state that arrives while no window is open opens one.
  rig.time.advanceTo(seconds(10));
  rig.publish(AccountState::waiting());
  EXPECT_TRUE(rig.page->isSignInLoading());
  EXPECT_EQ(rig.posted(names::signal::kSignIn), 1);
}

// A sign-in whose browser never opened can be finished from any browser: the page shows the address and
// the code while the sign-in waits.
TEST(AccountSettingsViewTest, AWaitingSignInShowsItsCodeAndWhereToEnterIt) {
  AccountPageRig rig;
  rig.open();
  rig.window->resize(620, 520);
  EXPECT_FALSE(rig.shown("account.signInCode"));
  rig.click("account.signIn");
  // An agent that publishes no code leaves the row away.
  rig.publish(AccountState::waiting());
  EXPECT_FALSE(rig.shown("account.signInCode"));

  const AccountState::SignInCode code{QStringLiteral("WDJB-MJHT"), QStringLiteral("https://parcelmoor.example/device"),
                                      QStringLiteral("https://parcelmoor.example/device?user_code=WDJB-MJHT")};
  rig.publish(AccountState::waiting(code));
  EXPECT_TRUE(rig.shown("account.signInCode"));
  EXPECT_EQ(rig.text("account.signInAddress"), code.verificationUri);
  EXPECT_EQ(rig.text("account.signInUserCode"), code.userCode);
  for (const char* selectable : {"account.signInAddress", "account.signInUserCode"})
    EXPECT_TRUE(rig.find<QLabel>(selectable)->textInteractionFlags() & Qt::TextSelectableByMouse) << selectable;
  rig.click("account.openSignInPage");
  EXPECT_EQ(rig.opened, QList<QUrl>{QUrl(code.verificationUriComplete)});
  rig.screenshot(QStringLiteral("settings-account-sign-in-code"));

  // The code goes with the wait, also while the loading window is still open.
  rig.publish(AccountState::signedIn(QStringLiteral("ada@example.com"), true));
  EXPECT_FALSE(rig.shown("account.signInCode"));
  rig.publish(AccountState::waiting({QStringLiteral("C0DE"), QStringLiteral("javascript:alert(1)"), QString()}));
  rig.opened.clear();
  rig.click("account.openSignInPage");
  EXPECT_TRUE(rig.opened.isEmpty()) << "only a web page is opened";
}

TEST(AccountSettingsViewTest, TheAccountButtonsAskTheAgentOrOpenThePricingPage) {
  AccountPageRig rig;
  rig.seed(AccountState::signedIn(QStringLiteral("ada@example.com"), false));
  rig.open();
  rig.click("account.subscribe");
  EXPECT_EQ(rig.opened, QList<QUrl>({QUrl(QStringLiteral("http://127.0.0.1:9/base/pricing"))}));

  rig.click("account.signOut");
  EXPECT_EQ(rig.posted(names::signal::kSignOut), 1);
  EXPECT_EQ(rig.status(), QStringLiteral("ada@example.com")) << "nothing changes before the agent answers";

  rig.publish(AccountState::signedIn(QStringLiteral("ada@example.com"), true));
  rig.click("account.billing");
  EXPECT_EQ(rig.posted(names::signal::kOpenBilling), 1);
  EXPECT_EQ(rig.opened.size(), 1);
}

TEST(AccountSettingsViewTest, TheSyncRowFollowsThePublishedSyncState) {
  using F = SyncState::Failure;
  struct Case {
    const char* name;
    SyncState sync;
    bool toggle;
    bool advanced;
    bool spinner;
    QString sentence;
  };
  const Case cases[] = {
      {"off", SyncState::off(), false, false, false, kGeneralSentence},
      {"starting", SyncState::starting(), true, false, true, kGeneralSentence},
      {"enter-code", SyncState::enterCode(), true, false, false, kGeneralSentence},
      {"joining", SyncState::joining(), true, false, false, kGeneralSentence},
      {"offering", SyncState::offering(QStringLiteral("K7Q2PZ")), true, true, false, kGeneralSentence},
      {"on", SyncState::on(), true, true, false, kGeneralSentence},
      {"failed-still-on", SyncState::failed(F::keyMismatch, true), true, true, false,
       QStringLiteral("This device's key does not match what is stored. Turn sync off and on to join your other "
                      "device again.")},
      {"failed-off", SyncState::failed(F::network, false), false, false, false,
       QStringLiteral("Could not reach Parcelmoor.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AccountPageRig rig;
    rig.seed(AccountState::signedIn(QStringLiteral("ada@example.com"), true), c.sync);
    rig.open();
    rig.screenshot(QStringLiteral("settings-account-sync-") + QLatin1String(c.name));

    EXPECT_EQ(rig.find<QCheckBox>("account.syncToggle")->isChecked(), c.toggle);
    EXPECT_EQ(rig.page->syncToggleValue(), c.toggle);
    EXPECT_TRUE(rig.find("account.syncToggle")->isEnabled());
    EXPECT_EQ(rig.shown("account.advancedRow"), c.advanced);
    EXPECT_EQ(rig.shown("account.syncSpinner"), c.spinner);
    EXPECT_EQ(rig.text("account.syncSentence"), c.sentence);
    const bool failed = c.sync.kind() == SyncState::Case::failed;
    const QColor sentenceColour =
        rig.find("account.syncSentence")->palette().color(rig.find("account.syncSentence")->foregroundRole());
    // The warning's orange, darkened until it reads on the page.
    EXPECT_EQ(sentenceColour == toneColour(TextTone::warning, rig.page->palette()), failed);
    EXPECT_TRUE(rig.find<SyncTile>("account.syncTile")->isActive());
  }
}

TEST(AccountSettingsViewTest, SignedOutTheSyncSwitchIsOffAndLocked) {
  AccountPageRig rig;
  rig.seed(AccountState::signedOut(), SyncState::on());
  rig.open();
  EXPECT_FALSE(rig.find<QCheckBox>("account.syncToggle")->isChecked());
  EXPECT_FALSE(rig.find("account.syncToggle")->isEnabled());
  EXPECT_FALSE(rig.shown("account.advancedRow"));
  EXPECT_FALSE(rig.shown("account.subscriptionRow"));
  EXPECT_FALSE(rig.find<SyncTile>("account.syncTile")->isActive());

  // Signing in elsewhere brings the switch to life with the sync state as it stands.
  rig.publish(AccountState::signedIn(QStringLiteral("ada@example.com"), false));
  EXPECT_TRUE(rig.find<QCheckBox>("account.syncToggle")->isChecked());
  EXPECT_TRUE(rig.shown("account.advancedRow"));
}

TEST(AccountSettingsViewTest, TheSwitchAsksAndThenShowsTheAgentsAnswer) {
  AccountPageRig rig;
  rig.seed(AccountState::signedIn(QStringLiteral("ada@example.com"), false));
  rig.open();
  auto* toggle = rig.find<QCheckBox>("account.syncToggle");
  toggle->click();
  EXPECT_EQ(rig.posted(names::signal::kSyncEnable), 1);
  EXPECT_FALSE(toggle->isChecked()) << "the click alone turns nothing on";
  rig.publish(SyncState::starting());
  EXPECT_TRUE(toggle->isChecked());
  rig.publish(SyncState::on());

  toggle->click();
  EXPECT_EQ(rig.posted(names::signal::kSyncDisable), 1);
  EXPECT_TRUE(toggle->isChecked());
  rig.publish(SyncState::off());
  EXPECT_FALSE(toggle->isChecked());

  rig.publish(SyncState::on());
  rig.click("account.syncConnectDevice");
  EXPECT_EQ(rig.posted(names::signal::kSyncOffer), 1);
}

TEST(AccountSettingsViewTest, AnOfferedCodeShowsItsSheetAndANewCodeReplacesIt) {
  AccountPageRig rig;
  rig.seed(AccountState::signedIn(QStringLiteral("ada@example.com"), false), SyncState::on());
  rig.open();
  EXPECT_EQ(rig.page->codeSheet(), nullptr);

  rig.publish(SyncState::offering(QStringLiteral("AAA111")));
  QPointer<SyncCodeSheet> first = rig.page->codeSheet();
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->code(), QStringLiteral("AAA111"));

  rig.publish(SyncState::offering(QStringLiteral("AAA111")));
  EXPECT_EQ(rig.page->codeSheet(), first.data()) << "the same code leaves the open sheet alone";

  rig.publish(SyncState::offering(QStringLiteral("BBB222")));
  ASSERT_TRUE(rig.page->codeSheet());
  EXPECT_NE(rig.page->codeSheet(), first.data());
  EXPECT_EQ(rig.page->codeSheet()->code(), QStringLiteral("BBB222"));
  EXPECT_TRUE(!first || !first->isVisible());

  rig.page->codeSheet()->reject();
  EXPECT_EQ(rig.posted(names::signal::kSyncCancelPairing), 1);
  EXPECT_TRUE(rig.page->codeSheet()->isVisible()) << "the sheet waits for the agent";

  rig.publish(SyncState::on());
  EXPECT_EQ(rig.page->codeSheet(), nullptr);
}

TEST(AccountSettingsViewTest, TheJoinSheetHandsACodeOrAKeyToTheAgent) {
  AccountPageRig rig;
  rig.seed(AccountState::signedIn(QStringLiteral("ada@example.com"), false), SyncState::enterCode());
  rig.open();
  QPointer<SyncJoinSheet> sheet = rig.page->joinSheet();
  ASSERT_TRUE(sheet);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_FALSE(sheet->isJoining());

  sheet->findChild<QLineEdit*>(QStringLiteral("syncJoinSheet.field"))->setText(QStringLiteral("k7q 2pz"));
  sheet->submit();
  EXPECT_EQ(rig.defaults.object(QString::fromLatin1(names::key::kPendingSyncCode)).toString(),
            QStringLiteral("K7Q2PZ"));
  EXPECT_EQ(rig.posted(names::signal::kSyncSubmitCode), 1);

  // The agent pairs: the same sheet stays, locked.
  rig.publish(SyncState::joining());
  EXPECT_EQ(rig.page->joinSheet(), sheet.data());
  EXPECT_TRUE(sheet->isJoining());
  EXPECT_FALSE(sheet->findChild<QLineEdit*>(QStringLiteral("syncJoinSheet.field"))->isEnabled());

  // The code did not work: input opens again, and the user restores from a kit instead.
  rig.publish(SyncState::enterCode());
  sheet->setRecovering(true);
  sheet->findChild<QLineEdit*>(QStringLiteral("syncJoinSheet.field"))
      ->setText(QStringLiteral("ABCD-EFGH-JKMN-PQRS-TVWX"));
  sheet->submit();
  EXPECT_EQ(loadSyncKey(rig.keychain), QStringLiteral("ABCDEFGHJKMNPQRSTVWX"));
  EXPECT_EQ(rig.posted(names::signal::kSyncEnable), 1);

  sheet->reject();
  EXPECT_EQ(rig.posted(names::signal::kSyncCancelPairing), 1);
  rig.publish(SyncState::on());
  EXPECT_EQ(rig.page->joinSheet(), nullptr);
}

TEST(AccountSettingsViewTest, AKeyThatCannotBeStoredStillAsksForSync) {
  AccountPageRig rig;
  rig.seed(AccountState::signedIn(QStringLiteral("ada@example.com"), false), SyncState::enterCode());
  rig.open();
  rig.keychain.setFailing(true);
  rig.page->joinSheet()->setRecovering(true);
  rig.page->joinSheet()
      ->findChild<QLineEdit*>(QStringLiteral("syncJoinSheet.field"))
      ->setText(QStringLiteral("ABCDEFGHJKMNPQRSTVWX"));
  rig.page->joinSheet()->submit();
  EXPECT_EQ(rig.posted(names::signal::kSyncEnable), 1);
}

TEST(AccountSettingsViewTest, TheRecoveryKitIsSavedWhereTheUserChoseForTheOwnerOnly) {
  const pm::test::TempRoot root;
  AccountPageRig rig;
  rig.seed(AccountState::signedIn(QStringLiteral("ada@example.com"), false), SyncState::on());
  rig.open();

  // Without a key there is nothing to save and nothing to ask.
  rig.page->saveRecoveryKit();
  EXPECT_TRUE(rig.suggestedNames.isEmpty());

  ASSERT_TRUE(saveSyncKey(rig.keychain, QStringLiteral("ABCDEFGHJKMNPQRSTVWX")));
  rig.page->saveRecoveryKit();  // the user cancels
  EXPECT_EQ(rig.suggestedNames, QStringList({QStringLiteral("Parcelmoor Recovery Kit.txt")}));
  EXPECT_TRUE(QDir(root.path()).entryList(QDir::Files).isEmpty());

  rig.saveAt = root.file(QStringLiteral("Parcelmoor Recovery Kit.txt"));
  rig.page->findChild<QAction*>(QStringLiteral("account.saveRecoveryKit"))->trigger();
  QFile kit(*rig.saveAt);
  ASSERT_TRUE(kit.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = kit.readAll().split('\n');
  ASSERT_EQ(lines.size(), 8);
  EXPECT_EQ(lines[2], "Account: ada@example.com");
  EXPECT_EQ(lines[5], "ABCD-EFGH-JKMN-PQRS-TVWX");
  struct stat status {};
  ASSERT_EQ(::stat(QFile::encodeName(*rig.saveAt).constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  EXPECT_TRUE(rig.errors.isEmpty());

  // A kit that could not be written is not passed off as saved.
  rig.saveAt = root.file(QStringLiteral("no such folder/kit.txt"));
  rig.page->saveRecoveryKit();
  ASSERT_EQ(rig.errors.size(), 1);
  EXPECT_TRUE(rig.errors[0].startsWith(QStringLiteral("The recovery kit could not be saved.")));
}

TEST(AccountSettingsViewTest, TheKitIsOfferedInDocumentsOrElseInTheHomeFolder) {
  QTemporaryDir home;
  const QString documents = QDir(home.path()).filePath(QStringLiteral("Documents"));
  EXPECT_EQ(saveFolder(documents, home.path()), home.path()) << "no Documents folder yet";
  ASSERT_TRUE(QDir().mkpath(documents));
  EXPECT_EQ(saveFolder(documents, home.path()), documents);
  EXPECT_EQ(saveFolder(QString(), home.path()), home.path());
}

TEST(AccountSettingsViewTest, TheInfoButtonExplainsSync) {
  AccountPageRig rig;
  rig.open();
  rig.click("account.syncInfo");
  auto* popover = rig.page->findChild<AboutSyncPopover*>(QStringLiteral("account.aboutSync"));
  ASSERT_TRUE(popover);
  EXPECT_TRUE(popover->isVisible());
  QStringList texts;
  for (const QLabel* label : popover->findChildren<QLabel*>()) texts.append(label->text());
  EXPECT_EQ(texts.first(), QStringLiteral("About sync"));
  EXPECT_EQ(texts.size(), 4);
  QDir().mkpath(pm::test::artifactsDirectory());
  popover->grab().save(QDir(pm::test::artifactsDirectory()).filePath(QStringLiteral("settings-account-about-sync.png")));
}

TEST(BreakableAddressTest, AnAddressMayBreakAfterItsAtSignAndItsDots) {
  struct Case {
    const char* address;
    const char* shown;  // | where a line may break besides the hyphens
  };
  const Case cases[] = {
      {"ada@example.com", "ada@|example.|com"},
      {"sam.lee@example-company.org", "sam.|lee@|example-company.|org"},
      {"ends.with.", "ends.|with."},
      {"plain", "plain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    const QString shown = breakableAddress(QString::fromUtf8(c.address));
    EXPECT_EQ(shown, QString::fromUtf8(c.shown).replace(QLatin1Char('|'), QChar(0x200B)));
    EXPECT_EQ(plainAddress(shown), QString::fromUtf8(c.address));
  }
}

TEST(AccountSettingsViewTest, TheSettingsWindowOpensOnThePageWithTheStoredAccount) {
  test::SettingsWindowRig rig;
  AccountState::signedIn(QStringLiteral("ada@example.com"), true).save(rig.defaults, rig.signals);
  SyncState::on().save(rig.defaults, rig.signals);
  rig.open();
  rig.screenshot(QStringLiteral("settings-window-account-signed-in"));
  EXPECT_EQ(plainAddress(rig.find<QLabel>("account.status")->text()), QStringLiteral("ada@example.com"));
  EXPECT_EQ(rig.find<QLabel>("account.status")->accessibleName(), QStringLiteral("ada@example.com"));
  EXPECT_TRUE(rig.find<QCheckBox>("account.syncToggle")->isChecked());
  EXPECT_TRUE(rig.find("account.advancedRow")->isVisible());
}

}  // namespace
}  // namespace pm::settings
