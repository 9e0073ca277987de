#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <optional>

#include "SettingsWindowRig.h"
#include "views/AdvancedSettingsView.h"
#include "views/VersionText.h"

namespace pm::settings {
namespace {

QString key(const char* name) {
  return QString::fromLatin1(name);
}

class AdvancedSettingsViewTest : public ::testing::Test {
 protected:
  void openAdvanced() {
    rig.open();
    rig.click("sidebar.advanced");
  }
  bool shown(const char* objectName) const {
    QWidget* widget = rig.find(objectName);
    if (!widget) throw std::runtime_error(std::string("no widget ") + objectName);
    return widget->isVisible();
  }

  test::SettingsWindowRig rig;
};

TEST_F(AdvancedSettingsViewTest, TheNotificationRowFollowsTheStoredAccess) {
  struct Case {
    std::optional<const char*> stored;
    bool settingsInstalled;
    bool row;
    const char* title;
    bool request;
    bool openSettings;
    bool caption;
  };
  const char* request = "Request notification access";
  const char* silent = "Notifications are allowed but not shown";
  const Case cases[] = {
      {std::nullopt, true, true, request, true, false, false},
      {"unknown", true, true, request, true, false, false},
      {"Granted", true, true, request, true, false, false},  // not a raw value: unknown
      {"denied", true, true, request, false, true, false},
      {"granted", true, false, request, false, false, false},
      {"silent", true, true, silent, false, true, true},
      // Without the desktop's notification settings there is nothing to open.
      {"denied", false, false, request, false, false, false},
      {"silent", false, true, silent, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.stored.value_or("(none)") << " settings " << c.settingsInstalled);
    test::SettingsWindowRig fresh;
    if (c.stored) fresh.defaults.set(key(names::key::kNotificationAccess), QString::fromLatin1(*c.stored));
    fresh.notificationSettings.available = c.settingsInstalled;
    fresh.open();
    fresh.click("sidebar.advanced");
    EXPECT_EQ(fresh.find("advanced.notificationRow")->isVisible(), c.row);
    EXPECT_EQ(fresh.find<QLabel>("advanced.notificationTitle")->text(), QString::fromLatin1(c.title));
    if (!c.row) continue;
    EXPECT_EQ(fresh.find("advanced.requestNotifications")->isVisible(), c.request);
    EXPECT_EQ(fresh.find("advanced.openNotificationSettings")->isVisible(), c.openSettings);
    EXPECT_EQ(fresh.find("advanced.notificationCaption")->isVisible(), c.caption);
    if (c.stored && QLatin1String(*c.stored) == QLatin1String("silent") && c.settingsInstalled)
      fresh.screenshot(QStringLiteral("settings-advanced-silent"));
  }
}

TEST_F(AdvancedSettingsViewTest, TheRowSwitchesWhenTheAgentPublishesANewAccess) {
  openAdvanced();
  rig.screenshot(QStringLiteral("settings-advanced-unknown"));
  ASSERT_TRUE(shown("advanced.notificationRow"));

  rig.defaults.set(key(names::key::kNotificationAccess), QStringLiteral("granted"));
  rig.signals.postDarwinNotification(key(names::signal::kNotificationAccessChanged));
  rig.settle();
  EXPECT_FALSE(shown("advanced.notificationRow"));
  rig.screenshot(QStringLiteral("settings-advanced-granted"));
}

TEST_F(AdvancedSettingsViewTest, TheButtonsAskTheAgentOrOpenTheDesktopSettings) {
  rig.defaults.set(key(names::key::kAutomaticUpdates), false);
  openAdvanced();
  rig.click("advanced.requestNotifications");
  // Asked even with automatic checks off.
  rig.click("advanced.checkForUpdates");
  EXPECT_EQ(rig.signals.posted(), QStringList({key(names::signal::kRequestNotificationAccess),
                                               key(names::signal::kCheckForUpdates)}));

  rig.defaults.set(key(names::key::kNotificationAccess), QStringLiteral("denied"));
  rig.signals.postDarwinNotification(key(names::signal::kNotificationAccessChanged));
  rig.settle();
  rig.click("advanced.openNotificationSettings");
  EXPECT_EQ(rig.notificationSettings.opened, 1);
}

TEST_F(AdvancedSettingsViewTest, TheAboutSectionSaysOnceThatThePackageManagerUpdatesAndItsButtonStaysPut) {
  openAdvanced();
  auto* note = rig.find<QLabel>("advanced.updatesNote");
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->isVisible());
  EXPECT_EQ(note->text(), AdvancedSettingsView::packageManagerText());
  EXPECT_TRUE(note->text().contains(QStringLiteral("package manager")));
  auto* check = rig.find<QPushButton>("advanced.checkForUpdates");
  ASSERT_NE(check, nullptr);
  rig.settle();
  const QRect before(check->mapTo(rig.view.get(), QPoint(0, 0)), check->size());
  // The button keeps to its text's size beside the sentence.
  EXPECT_LE(check->width(), check->sizeHint().width());

  rig.click("advanced.checkForUpdates");
  rig.settle();
  EXPECT_EQ(rig.posted(names::signal::kCheckForUpdates), 1);
  EXPECT_EQ(QRect(check->mapTo(rig.view.get(), QPoint(0, 0)), check->size()), before);
  // One sentence about updates, the one that was there before the click.
  int sentences = 0;
  for (const QLabel* label : rig.view->findChildren<QLabel*>()) {
    if (label->isVisible() && label->text().contains(QStringLiteral("package manager"))) ++sentences;
  }
  EXPECT_EQ(sentences, 1);
  rig.screenshot(QStringLiteral("settings-advanced-after-update-check"));
}

TEST_F(AdvancedSettingsViewTest, SoundsAndUpdateChecksShowOnWhenNothingIsStored) {
  openAdvanced();
  for (const char* toggle : {"advanced.automaticUpdates", "advanced.uploadCompleteSound",
                             "advanced.uploadWarningSound", "advanced.uploadFailedSound"}) {
    SCOPED_TRACE(toggle);
    EXPECT_TRUE(rig.find<QCheckBox>(toggle)->isChecked());
  }
}

TEST_F(AdvancedSettingsViewTest, AToggleWritesItsKeyItsStampAndOneSignal) {
  struct Case {
    const char* toggle;
    const char* key;
  };
  for (const Case& c : {Case{"advanced.automaticUpdates", names::key::kAutomaticUpdates},
                        Case{"advanced.uploadCompleteSound", names::key::kUploadCompleteSound},
                        Case{"advanced.uploadWarningSound", names::key::kUploadWarningSound},
                        Case{"advanced.uploadFailedSound", names::key::kUploadFailedSound}}) {
    SCOPED_TRACE(c.toggle);
    test::SettingsWindowRig fresh;
    fresh.open();
    fresh.click("sidebar.advanced");
    fresh.click(c.toggle);
    EXPECT_EQ(fresh.defaults.boolValue(key(c.key)), std::optional<bool>(false));
    EXPECT_EQ(fresh.defaults.object(key(names::key::kPreferenceChanges)).toMap().keys(),
              QStringList{key(c.key)});
    EXPECT_EQ(fresh.signals.posted(), QStringList{key(names::signal::kSettingsChanged)});
    EXPECT_FALSE(fresh.find<QCheckBox>(c.toggle)->isChecked());
  }
}

TEST_F(AdvancedSettingsViewTest, ThePanelLocationShowsTheStoredEdgeAndWritesTheChosenOne) {
  struct Case {
    std::optional<const char*> stored;
    const char* shown;
  };
  for (const Case& c : {Case{std::nullopt, "Left"}, Case{"top", "Top"}, Case{"right", "Right"},
                        Case{"bottom", "Left"}, Case{"", "Left"}}) {
    SCOPED_TRACE(c.stored.value_or("(none)"));
    test::SettingsWindowRig fresh;
    if (c.stored) fresh.defaults.set(key(names::key::kPanelEdge), QString::fromLatin1(*c.stored));
    fresh.open();
    EXPECT_EQ(fresh.find<QComboBox>("advanced.panelLocation")->currentText(), QString::fromLatin1(c.shown));
  }

  openAdvanced();
  auto* location = rig.find<QComboBox>("advanced.panelLocation");
  EXPECT_EQ(location->count(), 3);
  location->setCurrentIndex(2);
  Q_EMIT location->activated(2);
  EXPECT_EQ(rig.defaults.stringValue(key(names::key::kPanelEdge)),
            std::optional<QString>(QStringLiteral("right")));
  EXPECT_EQ(rig.signals.posted(), QStringList{key(names::signal::kSettingsChanged)});
}

TEST_F(AdvancedSettingsViewTest, TheVersionShowsADashForWhatTheBuildLacks) {
  struct Case {
    QHash<QString, QString> values;
    const char* text;
  };
  const QString shortVersion = QStringLiteral("CFBundleShortVersionString");
  const QString build = QStringLiteral("CFBundleVersion");
  const Case cases[] = {
      {{{shortVersion, QStringLiteral("1.4")}, {build, QStringLiteral("57")}}, "1.4 (57)"},
      {{}, "\u2014 (\u2014)"},
      {{{shortVersion, QStringLiteral("1.4")}, {build, QStringLiteral("$(CFBundleVersion)")}},
       "1.4 (\u2014)"},
      {{{build, QStringLiteral("57")}}, "\u2014 (57)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(versionText(BundleInfo(c.values)), QString::fromUtf8(c.text));
  }

  openAdvanced();
  EXPECT_EQ(rig.find<QLabel>("advanced.version")->text(), QStringLiteral("1.4 (57)"));
}

}  // namespace
}  // namespace pm::settings
