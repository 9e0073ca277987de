#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include "AppsRig.h"
#include "views/ConnectionEditor.h"
#include "views/ConnectionRow.h"
#include "views/ConnectionTestBadge.h"
#include "views/ConnectionsPageModel.h"
#include "views/ConnectionsSettingsView.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;

QStringList kinds(const QList<UploaderConfig>& configs) {
  QStringList raw;
  for (const UploaderConfig& config : configs) raw.append(rawValue(config.kind));
  return raw;
}

class ConnectionsPageTest : public ::testing::Test {
 protected:
  ConnectionsPageModel& model() {
    if (!page) page = std::make_unique<ConnectionsSettingsView>(*rig.settings, rig.services());
    return page->model();
  }

  test::AppsRig rig;
  std::unique_ptr<ConnectionsSettingsView> page;
};

TEST_F(ConnectionsPageTest, TheOwnServiceShowsOnlyWithASubscriptionAndTheEmptyStateAsksForWhatIsMissing) {
  struct Case {
    std::optional<AccountState> account;
    QStringList fileSharing;
    std::optional<ConnectionsPageModel::EmptyAction> empty;
  };
  const Case cases[] = {
      {std::nullopt, {}, ConnectionsPageModel::EmptyAction::signIn},
      {AccountState::waiting(), {}, ConnectionsPageModel::EmptyAction::signIn},
      {AccountState::signedIn(QStringLiteral("a@example.com"), false), {},
       ConnectionsPageModel::EmptyAction::subscribe},
      {AccountState::signedIn(QStringLiteral("a@example.com"), true), {QStringLiteral("parcelmoor")}, std::nullopt},
  };
  for (const Case& c : cases) {
    test::AppsRig fresh;
    if (c.account) fresh.setAccount(*c.account);
    ConnectionsSettingsView view(*fresh.settings, fresh.services());
    EXPECT_EQ(kinds(view.model().fileSharing()), c.fileSharing);
    EXPECT_EQ(view.findChild<QWidget*>(QStringLiteral("apps.emptyState")) != nullptr, c.empty.has_value());
    if (c.empty) {
      EXPECT_EQ(view.model().emptyAction(), *c.empty);
    }
  }
}

TEST_F(ConnectionsPageTest, SignInPostsAndSubscribeOpensPricing) {
  ConnectionsSettingsView signedOut(*rig.settings, rig.services());
  rig.signals.clearPosted();
  signedOut.findChild<QAbstractButton*>(QStringLiteral("apps.emptyState.signIn"))->click();
  EXPECT_EQ(rig.signals.posted(), QStringList{QString::fromLatin1(names::signal::kSignIn)});

  rig.setAccount(AccountState::signedIn(QStringLiteral("a@example.com"), false));
  QAbstractButton* subscribe = nullptr;
  ASSERT_TRUE(pm::test::runUntil([&] {
    subscribe = signedOut.findChild<QAbstractButton*>(QStringLiteral("apps.emptyState.subscribe"));
    return subscribe && !subscribe->isHidden();
  }));
  subscribe->click();
  ASSERT_EQ(rig.opened.size(), 1);
  EXPECT_EQ(rig.opened.first().toString(), QStringLiteral("http://127.0.0.1:9/base/pricing"));
  test::AppsRig::screenshot(signedOut, QStringLiteral("apps-empty-subscribe"));
}

TEST_F(ConnectionsPageTest, SubscribeAppendsPricingBehindOneSlash) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://127.0.0.1:9/base/", "http://127.0.0.1:9/base/pricing"},
      {"http://127.0.0.1:9/base", "http://127.0.0.1:9/base/pricing"},
      {"https://parcelmoor.example", "https://parcelmoor.example/pricing"},
      {"https://parcelmoor.example/", "https://parcelmoor.example/pricing"},
  };
  rig.setAccount(AccountState::signedIn(QStringLiteral("a@example.com"), false));
  for (const auto& [base, expected] : cases) {
    ConnectionServices services = rig.services();
    services.serviceBase = QUrl(QString::fromLatin1(base));
    ConnectionsSettingsView view(*rig.settings, services);
    rig.opened.clear();
    view.findChild<QAbstractButton*>(QStringLiteral("apps.emptyState.subscribe"))->click();
    EXPECT_EQ(rig.opened, QList<QUrl>{QUrl(QString::fromLatin1(expected))}) << base;
  }
}

TEST_F(ConnectionsPageTest, SharingMovesAnS3ConnectionBetweenTheSections) {
  UploaderConfig s3 = rig.add(Kind::customS3, QStringLiteral("Bucket"));
  rig.add(Kind::ftp);
  EXPECT_EQ(kinds(model().fileSharing()), QStringList());
  EXPECT_EQ(kinds(model().uploaders()), (QStringList{QStringLiteral("customS3"), QStringLiteral("ftp")}));
  s3.parcelmoorDownloads = true;
  model().save(s3);
  EXPECT_EQ(kinds(model().fileSharing()), QStringList{QStringLiteral("customS3")});
  EXPECT_EQ(kinds(model().uploaders()), QStringList{QStringLiteral("ftp")});
}

TEST_F(ConnectionsPageTest, ATestShowsTheSpinnerAtOnceAndItsResultWhenItEnds) {
  const UploaderConfig ftp = rig.add(Kind::ftp);
  rig.checks.failures.insert(Kind::ftp, QStringLiteral("Fill in the server first."));
  rig.checks.holding = true;
  model().runTest(ftp);
  EXPECT_EQ(model().test(ftp.id), ConnectionTest::running());
  auto* badge = page->findChild<ConnectionTestBadge*>(QStringLiteral("apps.badge"));
  ASSERT_NE(badge, nullptr);
  EXPECT_TRUE(badge->isSpinning());

  rig.checks.release();
  EXPECT_TRUE(pm::test::runUntil([&] { return model().test(ftp.id) != ConnectionTest::running(); }));
  EXPECT_EQ(model().test(ftp.id), ConnectionTest::failed(QStringLiteral("Fill in the server first.")));
  badge = page->findChild<ConnectionTestBadge*>(QStringLiteral("apps.badge"));
  EXPECT_EQ(badge->text(), QStringLiteral("Failed"));
  auto* row = page->findChild<ConnectionRow*>();
  EXPECT_EQ(row->failureText(), QStringLiteral("Fill in the server first."));
  // An FTP connection without a server lacks what it needs: drawn at half strength.
  EXPECT_EQ(row->opacity(), 0.5);
}

// A test result or an account change that leaves the list as it is changes only what it must: the
// scroll position stays, and a menu the user has open on another row stays open.
TEST_F(ConnectionsPageTest, ATestResultUpdatesItsRowInPlace) {
  QList<UploaderConfig> stored;
  for (int index = 0; index < 12; ++index) stored.append(rig.add(Kind::ftp, QStringLiteral("Server %1").arg(index)));
  model();
  page->resize(520, 300);
  page->show();
  auto* scroll = page->findChild<QScrollArea*>(QStringLiteral("apps.scroll"));
  ASSERT_NE(scroll, nullptr);
  ASSERT_TRUE(pm::test::runUntil([scroll] { return scroll->verticalScrollBar()->maximum() > 0; },
                                 std::chrono::seconds(30)));
  scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
  const int scrolled = scroll->verticalScrollBar()->value();
  const QPointer<QWidget> list = scroll->widget();

  // The menu of the last row is open while the first row's test ends.
  const QList<QToolButton*> menus = page->findChildren<QToolButton*>(QStringLiteral("apps.menu"));
  ASSERT_EQ(menus.size(), 12);
  const QPointer<QMenu> menu = menus.last()->menu();
  menu->popup(menus.last()->mapToGlobal(QPoint(0, menus.last()->height())));
  ASSERT_TRUE(pm::test::runUntil([menu] { return menu->isVisible(); }, std::chrono::seconds(30)));

  rig.checks.failures.insert(Kind::ftp, QStringLiteral("Fill in the server first."));
  rig.checks.holding = true;
  model().runTest(stored.first());
  rig.checks.release();
  ASSERT_TRUE(pm::test::runUntil([&] { return model().test(stored.first().id) != ConnectionTest::running(); },
                                 std::chrono::seconds(30)));
  rig.setAccount(AccountState::signedIn(QStringLiteral("a@example.com"), false));
  pm::test::spin(std::chrono::milliseconds(20));

  EXPECT_EQ(scroll->widget(), list.data()) << "the list was built anew";
  EXPECT_EQ(scroll->verticalScrollBar()->value(), scrolled);
  ASSERT_FALSE(menu.isNull());
  EXPECT_TRUE(menu->isVisible());
  const QList<ConnectionRow*> rows = list->findChildren<ConnectionRow*>();
  ASSERT_EQ(rows.size(), 12);
  EXPECT_EQ(rows.first()->failureText(), QStringLiteral("Fill in the server first."));
  EXPECT_EQ(list->findChildren<ConnectionTestBadge*>().first()->text(), QStringLiteral("Failed"));
  menu->close();

  // A new connection is a new list, in the same place.
  rig.add(Kind::ftp, QStringLiteral("Server 12"));
  pm::test::spin(std::chrono::milliseconds(20));
  EXPECT_NE(scroll->widget(), list.data());
  EXPECT_EQ(scroll->widget()->findChildren<ConnectionRow*>().size(), 13);
  EXPECT_EQ(page->findChild<QScrollArea*>(QStringLiteral("apps.scroll")), scroll);
  EXPECT_EQ(scroll->verticalScrollBar()->value(), scrolled);
  EXPECT_EQ(scroll->widget()->findChildren<ConnectionRow*>().first()->failureText(),
            QStringLiteral("Fill in the server first."))
      << "the results stay with their connections";
}

TEST_F(ConnectionsPageTest, TheOwnServiceTestSaysWhatTheAccountStillNeeds) {
  struct Case {
    AccountState account;
    QString text;
  };
  const Case cases[] = {
      {AccountState::signedOut(), QStringLiteral("Reached Parcelmoor. Sign in to use this connection.")},
      {AccountState::signedIn(QStringLiteral("a@example.com"), false),
       QStringLiteral("Reached Parcelmoor. This connection needs a subscription.")},
      {AccountState::signedIn(QStringLiteral("a@example.com"), true), QStringLiteral("Reached Parcelmoor.")},
  };
  for (const Case& c : cases) {
    test::AppsRig fresh;
    fresh.setAccount(c.account);
    ConnectionsSettingsView view(*fresh.settings, fresh.services());
    const UploaderConfig own = fresh.settings->uploaders().first();
    ASSERT_EQ(own.kind, Kind::parcelmoor);
    view.model().runTest(own);
    EXPECT_TRUE(pm::test::runUntil([&] { return view.model().test(own.id) != ConnectionTest::running(); }));
    EXPECT_EQ(view.model().test(own.id), ConnectionTest::ok(c.text));
  }
}

TEST_F(ConnectionsPageTest, TheOwnServiceOffersOnlyATestAndOthersEditTestAndDelete) {
  rig.setAccount(AccountState::signedIn(QStringLiteral("a@example.com"), true));
  rig.add(Kind::r2, QStringLiteral("Backup"));
  model();
  QStringList own, other;
  for (QMenu* menu : page->findChildren<QMenu*>()) {
    QStringList names;
    for (QAction* action : menu->actions())
      if (!action->isSeparator()) names.append(action->objectName());
    (names.size() == 1 ? own : other) = names;
  }
  EXPECT_EQ(own, QStringList{QStringLiteral("apps.test")});
  EXPECT_EQ(other, (QStringList{QStringLiteral("apps.edit"), QStringLiteral("apps.test"),
                                QStringLiteral("apps.delete")}));
}

TEST_F(ConnectionsPageTest, TheDeleteAlertNamesTheConnectionAndDeletesOnlyWhenConfirmed) {
  const UploaderConfig backup = rig.add(Kind::ftp, QStringLiteral("Backup"));
  EXPECT_EQ(ConnectionsPageModel::deleteTitle(backup), QStringLiteral("Delete Backup?"));
  EXPECT_EQ(ConnectionsPageModel::deleteTitle(std::nullopt), QStringLiteral("Delete ?"));
  EXPECT_EQ(ConnectionsPageModel::deleteMessage(),
            QStringLiteral("The connection and its keys are removed from this computer. Files you already "
                           "uploaded stay in your storage."));
  model();
  page->resize(520, 400);
  page->show();
  page->confirmDelete(backup);
  ASSERT_NE(page->deleteAlert(), nullptr);
  page->deleteAlert()->button(QMessageBox::Cancel)->click();
  EXPECT_EQ(rig.settings->uploaders().size(), 2);
  page->confirmDelete(backup);
  page->deleteAlert()->findChild<QAbstractButton*>(QStringLiteral("apps.deleteAlert.delete"))->click();
  EXPECT_EQ(rig.settings->uploaders().size(), 1);
}

TEST_F(ConnectionsPageTest, ReturnInTheDeleteAlertCancelsAndTheAlertHasRoomForItsTitleAndText) {
  const UploaderConfig backup = rig.add(Kind::ftp, QStringLiteral("Backup of the family photo archive"));
  model();
  page->resize(520, 400);
  page->show();
  page->confirmDelete(backup);
  const QPointer<QMessageBox> alert = page->deleteAlert();
  ASSERT_NE(alert, nullptr);
  ASSERT_TRUE(pm::test::runUntil([alert] { return alert->isVisible(); }, std::chrono::seconds(30)));
  EXPECT_EQ(static_cast<QAbstractButton*>(alert->defaultButton()), alert->button(QMessageBox::Cancel));
  EXPECT_EQ(alert->escapeButton(), alert->button(QMessageBox::Cancel));
  const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
  EXPECT_GE(alert->width(), title.horizontalAdvance(alert->windowTitle()) + 100);
  EXPECT_GE(alert->width(), 380);
  test::AppsRig::screenshot(*alert, QStringLiteral("apps-delete-alert"));

  QTest::keyClick(alert, Qt::Key_Return);
  ASSERT_TRUE(pm::test::runUntil([alert] { return !alert || !alert->isVisible(); }, std::chrono::seconds(30)));
  EXPECT_EQ(rig.settings->uploaders().size(), 2) << "Return deleted the connection";
}

TEST_F(ConnectionsPageTest, AddingOpensANewDraftOfAKindThatWorksHereAndEditingAStoredOne) {
  const UploaderConfig stored = rig.add(Kind::ftp, QStringLiteral("Backup"));
  model();
  const QByteArray before = qgetenv("PARCELMOOR_UBIQUITY_ROOT");
  QTemporaryDir root;
  // Without the synced folder's root, the first drive this build can connect.
  qputenv("PARCELMOOR_UBIQUITY_ROOT", QDir(root.path()).filePath(QStringLiteral("absent")).toUtf8());
  page->add();
  ASSERT_NE(page->editor(), nullptr);
  EXPECT_EQ(page->editor()->config().kind, Kind::googleDrive);
  page->editor()->findChild<QAbstractButton*>(QStringLiteral("editor.cancel"))->click();
  qputenv("PARCELMOOR_UBIQUITY_ROOT", root.path().toUtf8());
  page->add();
  if (before.isNull()) qunsetenv("PARCELMOOR_UBIQUITY_ROOT");
  else qputenv("PARCELMOOR_UBIQUITY_ROOT", before);
  ASSERT_NE(page->editor(), nullptr);
  EXPECT_EQ(page->editor()->config().kind, Kind::icloud);
  EXPECT_EQ(page->editor()->windowTitle(), QStringLiteral("Create new app"));
  page->editor()->findChild<QAbstractButton*>(QStringLiteral("editor.cancel"))->click();
  EXPECT_EQ(rig.settings->uploaders().size(), 2);

  page->edit(stored);
  EXPECT_EQ(page->editor()->windowTitle(), QStringLiteral("Edit app"));
}

TEST_F(ConnectionsPageTest, ScreenshotOfEveryKindWithAFailedBadge) {
  rig.setAccount(AccountState::signedIn(QStringLiteral("a@example.com"), true));
  UploaderConfig shared(Kind::r2);
  shared.name = QStringLiteral("Shared bucket");
  shared.parcelmoorDownloads = true;
  rig.settings->upsert(shared);
  for (const Kind kind : {Kind::customS3, Kind::ftp, Kind::icloud, Kind::googleDrive, Kind::oneDrive, Kind::dropbox})
    rig.add(kind);
  rig.checks.failures.insert(Kind::ftp, QStringLiteral("Fill in the server first."));
  model();
  for (const UploaderConfig& config : rig.settings->uploaders())
    if (config.kind == Kind::ftp || config.kind == Kind::parcelmoor) model().runTest(config);
  pm::test::spin(std::chrono::milliseconds(20));
  page->resize(520, 640);
  test::AppsRig::screenshot(*page, QStringLiteral("apps-rows"));
}

}  // namespace
}  // namespace pm::settings
