#include <gtest/gtest.h>

#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include "SettingsWindowRig.h"
#include "core/UploaderConfig.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;

UploaderConfig ftpConnection(const QString& name) {
  UploaderConfig config(Kind::ftp);
  config.name = name;
  config.endpoint = QStringLiteral("ftp.example.com");
  return config;
}

void storeConnections(SharedDefaults& defaults, const QList<UploaderConfig>& configs) {
  defaults.set(QString::fromLatin1(names::key::kUploaderConfigs),
               UploaderConfig::encodeList(configs).value());
}

TEST(SettingsViewTest, OpensOnTheAccountPageAtItsDefaultSizeAndMayGrow) {
  test::SettingsWindowRig rig;
  SettingsView& view = rig.open();
  EXPECT_EQ(view.selection(), Page::account);
  EXPECT_EQ(view.windowTitle(), QStringLiteral("Account"));
  EXPECT_EQ(view.size(), QSize(700, 550));
  EXPECT_GT(view.maximumWidth(), 700);
  EXPECT_GT(view.maximumHeight(), 550);
  view.resize(900, 700);
  EXPECT_EQ(view.size(), QSize(900, 700));
  EXPECT_EQ(rig.find("sidebar")->width(), 180);
  EXPECT_TRUE(rig.find<QToolButton>("sidebar.account")->isChecked());
}

TEST(SettingsViewTest, ASidebarRowSelectsItsPageAndTitlesTheWindow) {
  test::SettingsWindowRig rig;
  SettingsView& view = rig.open();
  struct Case {
    const char* row;
    Page page;
    const char* title;
    const char* pageName;
  };
  for (const Case& c : {Case{"sidebar.apps", Page::apps, "Apps", "apps"},
                        Case{"sidebar.advanced", Page::advanced, "Advanced", "advanced"},
                        Case{"sidebar.account", Page::account, "Account", "account"}}) {
    SCOPED_TRACE(c.row);
    rig.click(c.row);
    EXPECT_EQ(view.selection(), c.page);
    EXPECT_EQ(view.windowTitle(), QString::fromLatin1(c.title));
    EXPECT_TRUE(rig.find(c.pageName)->isVisible());
    EXPECT_TRUE(rig.find<QToolButton>(c.row)->isChecked());
    rig.screenshot(QStringLiteral("settings-window-") + QLatin1String(c.pageName));
  }
}

// Shrunk below what a page needs, every page scrolls alike, sideways too, rather than cut what it holds.
TEST(SettingsViewTest, AWindowSmallerThanItsPagesScrollsEachOfThem) {
  test::SettingsWindowRig rig;
  storeConnections(rig.defaults, {ftpConnection(QStringLiteral("Studio"))});
  SettingsView& view = rig.open();
  view.resize(view.minimumSizeHint());
  rig.settle();
  for (const char* row : {"sidebar.account", "sidebar.apps", "sidebar.advanced"}) {
    SCOPED_TRACE(row);
    rig.click(row);
    rig.settle();
    QScrollArea* scroll = nullptr;
    for (QScrollArea* candidate : view.findChildren<QScrollArea*>()) {
      if (candidate->isVisible()) scroll = candidate;
    }
    ASSERT_NE(scroll, nullptr) << "the page scrolls";
    QWidget* page = scroll->widget();
    ASSERT_NE(page, nullptr);
    // The page gets the room it needs, and what the window cannot show is reached with the scroll bars.
    EXPECT_GE(page->width(), page->minimumSizeHint().width());
    EXPECT_GE(page->height(), page->minimumSizeHint().height());
    if (page->width() > scroll->viewport()->width()) {
      EXPECT_TRUE(scroll->horizontalScrollBar()->isVisible());
    }
    if (page->height() > scroll->viewport()->height()) {
      EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
    }
    rig.screenshot(QStringLiteral("settings-window-smallest-") + QLatin1String(row).mid(8));
  }
}

// A suite that holds no list, or one that cannot be read, must not empty the window.
TEST(SettingsViewTest, ASettingsChangeWithoutAReadableListKeepsTheConnectionsButRereadsThePreferences) {
  for (const bool undecodable : {false, true}) {
    SCOPED_TRACE(undecodable ? "undecodable list" : "no list");
    test::SettingsWindowRig rig;
    storeConnections(rig.defaults, {ftpConnection(QStringLiteral("Studio"))});
    rig.open();
    rig.click("sidebar.advanced");
    const QList<UploaderConfig> shown = rig.settings->uploaders();
    ASSERT_EQ(shown.size(), 2);

    const QString key = QString::fromLatin1(names::key::kUploaderConfigs);
    if (undecodable) {
      rig.defaults.set(key, QByteArray("{not json"));
    } else {
      rig.defaults.remove(key);
    }
    rig.defaults.set(QString::fromLatin1(names::key::kUploadWarningSound), false);
    rig.defaults.set(QString::fromLatin1(names::key::kPanelEdge), QStringLiteral("right"));
    rig.signals.postDarwinNotification(QString::fromLatin1(names::signal::kSettingsChanged));
    rig.settle();

    EXPECT_EQ(rig.settings->uploaders(), shown);
    EXPECT_EQ(rig.posted(names::signal::kSettingsChanged), 1);  // only the test's: nothing was saved
    EXPECT_FALSE(rig.find<QAbstractButton>("advanced.uploadWarningSound")->isChecked());
    EXPECT_EQ(rig.find<QComboBox>("advanced.panelLocation")->currentText(), QStringLiteral("Right"));
  }
}

TEST(SettingsViewTest, AChangedStoredListIsTakenOnceAndItsEchoEndsTheExchange) {
  test::SettingsWindowRig rig;
  rig.open();
  QList<UploaderConfig> changed = rig.settings->uploaders();
  changed.append(ftpConnection(QStringLiteral("From the other computer")));
  storeConnections(rig.defaults, changed);

  rig.signals.postDarwinNotification(QString::fromLatin1(names::signal::kSettingsChanged));
  rig.settle();

  EXPECT_EQ(rig.settings->uploaders(), changed);
  // The test's signal and the one save of the taken list; that save's own echo finds the lists equal.
  EXPECT_EQ(rig.posted(names::signal::kSettingsChanged), 2);
}

TEST(SettingsViewTest, TheProgramsOwnSaveIsReadBackWithoutAnotherSave) {
  test::SettingsWindowRig rig;
  rig.open();
  int uploaderChanges = 0;
  QObject::connect(rig.settings.get(), &AppSettings::uploadersChanged, [&] { ++uploaderChanges; });

  rig.settings->upsert(ftpConnection(QStringLiteral("Studio")));
  rig.settle();

  EXPECT_EQ(rig.posted(names::signal::kSettingsChanged), 1);
  EXPECT_EQ(uploaderChanges, 1);
  EXPECT_EQ(rig.settings->uploaders().size(), 2);
}

}  // namespace
}  // namespace pm::settings
