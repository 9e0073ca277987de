#include <gtest/gtest.h>

#include <QSet>

#include "platform/NotificationSettings.h"

namespace pm {
namespace {

using Command = DesktopNotificationSettings::Command;

TEST(NotificationSettingsTest, TheRunningDesktopsOwnSettingsComeFirst) {
  struct Case {
    const char* name;
    QStringList desktops;
    QSet<QString> installed;
    std::optional<Command> chosen;
  };
  const QString gnome = QStringLiteral("gnome-control-center");
  const QString kde = QStringLiteral("systemsettings");
  const QString xfce = QStringLiteral("xfce4-notifyd-config");
  const Command gnomeCommand{QStringLiteral("/usr/bin/") + gnome, {QStringLiteral("notifications")}};
  const Command kdeCommand{QStringLiteral("/usr/bin/") + kde, {QStringLiteral("kcm_notifications")}};
  const Command xfceCommand{QStringLiteral("/usr/bin/") + xfce, {}};
  const Case cases[] = {
      {"GNOME", {QStringLiteral("ubuntu"), QStringLiteral("GNOME")}, {gnome, kde}, gnomeCommand},
      {"KDE beside GNOME's", {QStringLiteral("KDE")}, {gnome, kde}, kdeCommand},
      {"case of the desktop name", {QStringLiteral("xfce")}, {gnome, xfce}, xfceCommand},
      {"desktop without its own installed", {QStringLiteral("KDE")}, {xfce}, xfceCommand},
      {"no desktop named", {}, {kde}, kdeCommand},
      {"none installed", {QStringLiteral("GNOME")}, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto find = [&](const QString& program) {
      return c.installed.contains(program) ? QStringLiteral("/usr/bin/") + program : QString();
    };
    EXPECT_EQ(DesktopNotificationSettings::choose(c.desktops, find), c.chosen);
  }
}

}  // namespace
}  // namespace pm
