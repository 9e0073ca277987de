#include "NotificationSettings.h"

#include <QProcess>
#include <QStandardPaths>

#include "Log.h"

namespace pm {

namespace {

struct KnownSettings {
  QStringList desktops;  // XDG_CURRENT_DESKTOP names, lower case
  const char* program;
  QStringList arguments;
};

// Each desktop's page of notification settings, opened straight at that page where the program allows.
const QList<KnownSettings>& knownSettings() {
  static const QList<KnownSettings> known{
      {{QStringLiteral("gnome"), QStringLiteral("unity"), QStringLiteral("ubuntu")},
       "gnome-control-center",
       {QStringLiteral("notifications")}},
      {{QStringLiteral("kde")}, "systemsettings", {QStringLiteral("kcm_notifications")}},
      {{QStringLiteral("kde")}, "systemsettings5", {QStringLiteral("kcm_notifications")}},
      {{QStringLiteral("xfce")}, "xfce4-notifyd-config", {}},
      {{QStringLiteral("x-cinnamon"), QStringLiteral("cinnamon")},
       "cinnamon-settings",
       {QStringLiteral("notifications")}},
      {{QStringLiteral("mate")}, "mate-notification-properties", {}},
      {{QStringLiteral("budgie")}, "budgie-control-center", {QStringLiteral("notifications")}},
      {{QStringLiteral("lxqt")}, "lxqt-config-notificationd", {}},
  };
  return known;
}

std::optional<DesktopNotificationSettings::Command> installed(
    const KnownSettings& settings, const DesktopNotificationSettings::FindProgram& findProgram) {
  const QString path = findProgram(QString::fromLatin1(settings.program));
  if (path.isEmpty()) return std::nullopt;
  return DesktopNotificationSettings::Command{path, settings.arguments};
}

}  // namespace

DesktopNotificationSettings::DesktopNotificationSettings()
    : command_(choose(qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts),
                      [](const QString& name) { return QStandardPaths::findExecutable(name); })) {}

std::optional<DesktopNotificationSettings::Command> DesktopNotificationSettings::choose(
    const QStringList& currentDesktops, const FindProgram& findProgram) {
  // Another desktop's settings program installed beside the running one may not even start here, so the
  // running desktop's own comes first.
  for (const QString& desktop : currentDesktops) {
    for (const KnownSettings& settings : knownSettings()) {
      if (!settings.desktops.contains(desktop.toLower())) continue;
      if (std::optional<Command> command = installed(settings, findProgram)) return command;
    }
  }
  for (const KnownSettings& settings : knownSettings()) {
    if (std::optional<Command> command = installed(settings, findProgram)) return command;
  }
  return std::nullopt;
}

bool DesktopNotificationSettings::open() {
  if (!command_) return false;
  if (QProcess::startDetached(command_->program, command_->arguments)) return true;
  qCWarning(lcApp, "could not start the notification settings %s", qUtf8Printable(command_->program));
  return false;
}

}  // namespace pm
