#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <memory>

#include "AppsRig.h"
#include "SettingsWindowRig.h"
#include "TextAudit.h"
#include "core/AccountState.h"
#include "sync/SyncState.h"
#include "views/AboutSyncPopover.h"
#include "views/ConnectionEditor.h"
#include "views/ConnectionsPageModel.h"
#include "views/ConnectionsSettingsView.h"
#include "views/SettingsStyle.h"
#include "views/ShareableLinksExplainer.h"
#include "views/SymbolPicker.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;
using AccountFailure = AccountState::Failure;
using SyncFailure = SyncState::Failure;

struct Look {
  const char* name;
  QPalette (*palette)();
};
const Look kLooks[] = {{"light", test::lightPalette}, {"dark", test::darkPalette}};

// Every text of `window` shows whole, wraps only where its row is full and reads at 4.5:1; the window is
// kept as a screenshot for a reviewer either way.
void expectReadable(QWidget& window, const QString& shot) {
  const QStringList problems = test::auditTexts(window);
  EXPECT_TRUE(problems.isEmpty()) << shot.toStdString() << ":\n" << problems.join(QLatin1Char('\n')).toStdString();
  test::saveScreenshots(window, QStringLiteral("look-") + shot);
}

class SettingsLookTest : public ::testing::Test {
 protected:
  void SetUp() override { useSettingsStyle(); }
};

TEST_F(SettingsLookTest, TheAccountPageReadsInEveryState) {
  struct Case {
    const char* name;
    AccountState account;
    SyncState sync;
    bool pressSignIn;
  };
  const QString email = QStringLiteral("ada.lovelace@example.com");
  const std::vector<Case> cases{
      {"signed-out", AccountState::signedOut(), SyncState::off(), false},
      {"signing-in", AccountState::signedOut(), SyncState::off(), true},
      {"signed-in", AccountState::signedIn(email, true), SyncState::off(), false},
      // An address is one long word, broken by the text layout only after its hyphen.
      {"long-email", AccountState::signedIn(QStringLiteral("sam.lee.with.a.rather.long.address@example-company.org"),
                                            true),
       SyncState::on(), false},
      {"no-email-unsubscribed", AccountState::signedIn(QString(), false), SyncState::off(), false},
      {"refused", AccountState::failed(AccountFailure::denied), SyncState::off(), false},
      {"expired", AccountState::failed(AccountFailure::expired), SyncState::off(), false},
      {"unreachable", AccountState::failed(AccountFailure::network), SyncState::off(), false},
      {"keychain", AccountState::failed(AccountFailure::keychain), SyncState::off(), false},
      {"sync-starting", AccountState::signedIn(email, true), SyncState::starting(), false},
      {"sync-on", AccountState::signedIn(email, true), SyncState::on(), false},
      {"sync-network", AccountState::signedIn(email, true), SyncState::failed(SyncFailure::network, true), false},
      {"sync-refused", AccountState::signedIn(email, true), SyncState::failed(SyncFailure::refused, true), false},
      {"sync-expired", AccountState::signedIn(email, true), SyncState::failed(SyncFailure::expired, true), false},
      {"sync-mismatch", AccountState::signedIn(email, true), SyncState::failed(SyncFailure::mismatch, false), false},
      {"sync-no-pairing", AccountState::signedIn(email, true), SyncState::failed(SyncFailure::noPairing, true),
       false},
      {"sync-key-mismatch", AccountState::signedIn(email, true),
       SyncState::failed(SyncFailure::keyMismatch, true), false},
  };
  for (const Look& look : kLooks) {
    test::ApplicationPalette palette(look.palette());
    for (const Case& c : cases) {
      const QString shot = QStringLiteral("account-%1-%2").arg(QLatin1String(c.name), QLatin1String(look.name));
      SCOPED_TRACE(shot.toStdString());
      test::SettingsWindowRig rig;
      c.account.save(rig.defaults, rig.signals);
      c.sync.save(rig.defaults, rig.signals);
      rig.open();
      if (c.pressSignIn) rig.click("account.signIn");
      expectReadable(*rig.view, shot);
    }
  }
}

TEST_F(SettingsLookTest, ALongAddressShowsWholeInANarrowerWindow) {
  const QString address = QStringLiteral("sam.lee.with.a.rather.long.address@example-company.org");
  for (const Look& look : kLooks) {
    test::ApplicationPalette palette(look.palette());
    for (const int width : {700, 620, 560}) {
      const QString shot = QStringLiteral("account-long-email-%1-%2").arg(width).arg(QLatin1String(look.name));
      SCOPED_TRACE(shot.toStdString());
      test::SettingsWindowRig rig;
      AccountState::signedIn(address, true).save(rig.defaults, rig.signals);
      rig.open();
      rig.view->resize(width, 550);
      rig.settle();
      expectReadable(*rig.view, shot);
    }
  }
}

TEST_F(SettingsLookTest, TheAppsPageReadsEmptyAndWithEveryKindOfResult) {
  for (const Look& look : kLooks) {
    test::ApplicationPalette palette(look.palette());
    for (const bool signedIn : {false, true}) {
      const QString shot = QStringLiteral("apps-empty-%1-%2")
                               .arg(signedIn ? QStringLiteral("signed-in") : QStringLiteral("signed-out"),
                                    QLatin1String(look.name));
      SCOPED_TRACE(shot.toStdString());
      test::SettingsWindowRig rig;
      if (signedIn) AccountState::signedIn(QStringLiteral("ada@example.com"), false).save(rig.defaults, rig.signals);
      rig.open();
      rig.click("sidebar.apps");
      expectReadable(*rig.view, shot);
    }

    const QString shot = QStringLiteral("apps-list-%1").arg(QLatin1String(look.name));
    SCOPED_TRACE(shot.toStdString());
    test::SettingsWindowRig rig;
    AccountState::signedIn(QStringLiteral("ada@example.com"), true).save(rig.defaults, rig.signals);
    rig.open();
    UploaderConfig unconfigured(Kind::ftp);
    unconfigured.name = QStringLiteral("Studio FTP");
    UploaderConfig bucket(Kind::customS3);
    bucket.endpoint = QStringLiteral("https://s3.eu-west-1.amazonaws.com");
    bucket.bucketName = QStringLiteral("photos");
    bucket.parcelmoorDownloads = true;
    UploaderConfig r2(Kind::r2);
    r2.endpoint = QStringLiteral("https://0123456789abcdef0123456789abcdef.r2.cloudflarestorage.com");
    r2.bucketName = QStringLiteral("archive");
    UploaderConfig drive(Kind::googleDrive);
    for (const UploaderConfig& config : {unconfigured, bucket, r2, drive}) rig.settings->upsert(config);
    rig.settle();
    rig.click("sidebar.apps");
    auto* page = rig.view->findChild<ConnectionsSettingsView*>();
    rig.checks.failures.insert(Kind::ftp, QStringLiteral("Fill in the server first."));
    rig.checks.failures.insert(Kind::customS3, QStringLiteral("Missing credentials."));
    page->model().runTest(unconfigured);
    page->model().runTest(bucket);
    page->model().runTest(r2);
    rig.settle();
    rig.checks.holding = true;
    page->model().runTest(drive);
    rig.settle();
    expectReadable(*rig.view, shot);
    rig.checks.release();
    rig.settle();
  }
}

TEST_F(SettingsLookTest, TheAdvancedPageReadsWithEveryNotificationState) {
  for (const Look& look : kLooks) {
    test::ApplicationPalette palette(look.palette());
    for (const char* access : {"unknown", "denied", "silent", "granted"}) {
      const QString shot = QStringLiteral("advanced-%1-%2").arg(QLatin1String(access), QLatin1String(look.name));
      SCOPED_TRACE(shot.toStdString());
      test::SettingsWindowRig rig;
      rig.defaults.set(QString::fromLatin1(names::key::kNotificationAccess), QString::fromLatin1(access));
      rig.open();
      rig.click("sidebar.advanced");
      expectReadable(*rig.view, shot);
    }
  }
}

TEST_F(SettingsLookTest, TheEditorReadsForEveryKindAndEveryTestResult) {
  struct Case {
    const char* name;
    Kind kind;
    std::function<void(UploaderConfig&)> prepare;
    // What is done in the open editor before it is read.
    std::function<void(ConnectionEditor&, test::AppsRig&)> act;
  };
  const auto none = [](UploaderConfig&) {};
  const auto nothing = [](ConnectionEditor&, test::AppsRig&) {};
  const auto failWith = [](const QString& message) {
    return [message](ConnectionEditor& editor, test::AppsRig& rig) {
      rig.checks.failures.insert(editor.config().kind, message);
      editor.runTest();
      EXPECT_TRUE(pm::test::runUntil([&] { return !editor.isTesting(); }));
    };
  };
  const std::vector<Case> cases{
      {"icloud", Kind::icloud, none, nothing},
      {"googleDrive", Kind::googleDrive, none, nothing},
      {"googleDrive-connected", Kind::googleDrive,
       [](UploaderConfig& config) { config.account = QStringLiteral("ada.lovelace@example.com"); }, nothing},
      {"oneDrive", Kind::oneDrive, none, nothing},
      {"dropbox-unavailable", Kind::dropbox, none,
       [](ConnectionEditor& editor, test::AppsRig&) { editor.connectAccount(); }},
      {"customS3", Kind::customS3, none, nothing},
      {"customS3-custom-region", Kind::customS3,
       [](UploaderConfig& config) { config.region = QStringLiteral("eu-south-7"); }, nothing},
      {"customS3-missing-credentials", Kind::customS3, none, failWith(QStringLiteral("Missing credentials."))},
      {"r2", Kind::r2, none, nothing},
      {"ftp", Kind::ftp, none, nothing},
      {"ftp-plain", Kind::ftp, [](UploaderConfig& config) { config.ftpSecurity = FTPSecurity::plain; }, nothing},
      {"ftp-refused", Kind::ftp, none,
       failWith(QStringLiteral(
           "The server refused the login for this user name and password: 530 Login incorrect."))},
      {"ftp-testing", Kind::ftp, none,
       [](ConnectionEditor& editor, test::AppsRig& rig) {
         rig.checks.holding = true;
         editor.runTest();
       }},
      {"ftp-reached", Kind::ftp, none,
       [](ConnectionEditor& editor, test::AppsRig&) {
         editor.runTest();
         EXPECT_TRUE(pm::test::runUntil([&] { return !editor.isTesting(); }));
       }},
      {"parcelmoor", Kind::parcelmoor, none, nothing},
  };
  for (const Look& look : kLooks) {
    test::ApplicationPalette palette(look.palette());
    for (const Case& c : cases) {
      const QString shot = QStringLiteral("editor-%1-%2").arg(QLatin1String(c.name), QLatin1String(look.name));
      SCOPED_TRACE(shot.toStdString());
      test::AppsRig rig;
      UploaderConfig config(c.kind);
      c.prepare(config);
      ConnectionEditor editor(config, true, rig.services());
      editor.show();
      c.act(editor, rig);
      expectReadable(editor, shot);
      rig.checks.release();
      // A held test ends before the editor and the rig it uses go away.
      EXPECT_TRUE(pm::test::runUntil([&] { return !editor.isTesting(); }));
    }
  }
}

TEST_F(SettingsLookTest, ThePopoversRead) {
  for (const Look& look : kLooks) {
    test::ApplicationPalette palette(look.palette());
    const QString name = QLatin1String(look.name);
    {
      SCOPED_TRACE("about sync");
      AboutSyncPopover popover;
      popover.show();
      expectReadable(popover, QStringLiteral("popover-about-sync-") + name);
    }
    for (const Kind kind : {Kind::customS3, Kind::r2}) {
      SCOPED_TRACE(rawValue(kind).toStdString());
      ShareableLinksExplainer explainer(kind, QUrl(QStringLiteral("https://parcelmoor.example/api")),
                                        [](const QUrl&) { return true; });
      explainer.show();
      expectReadable(explainer, QStringLiteral("popover-shareable-links-%1-%2").arg(rawValue(kind), name));
    }
    {
      SCOPED_TRACE("symbol picker");
      SymbolPicker picker(QStringLiteral("cylinder.split.1x2"), QStringLiteral("server.rack"));
      picker.show();
      expectReadable(picker, QStringLiteral("popover-symbol-picker-") + name);
    }
  }
}

}  // namespace
}  // namespace pm::settings
