#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace pm {

// The desktop's own settings of notifications, where the user allows or silences a program's
// notifications. Not every desktop has one (a bare window manager has none): callers hide what would
// open it when it is not available.
class NotificationSettings {
 public:
  virtual ~NotificationSettings() = default;

  virtual bool isAvailable() const = 0;
  // Starts the settings program. False when there is none or it could not be started.
  virtual bool open() = 0;
};

// The notification settings of the running desktop, chosen once when made: the program of the desktop
// named in XDG_CURRENT_DESKTOP when it is installed, else the first installed one of the known desktops.
class DesktopNotificationSettings final : public NotificationSettings {
 public:
  struct Command {
    QString program;  // as found on the PATH
    QStringList arguments;
    friend bool operator==(const Command&, const Command&) = default;
  };
  // The path of an installed program by name, empty when there is none.
  using FindProgram = std::function<QString(const QString& name)>;

  DesktopNotificationSettings();

  bool isAvailable() const override { return command_.has_value(); }
  bool open() override;

  // The choice itself. `currentDesktops` are the entries of XDG_CURRENT_DESKTOP ("ubuntu:GNOME" gives
  // "ubuntu" and "GNOME"), compared without regard to case.
  static std::optional<Command> choose(const QStringList& currentDesktops, const FindProgram& findProgram);

 private:
  std::optional<Command> command_;
};

}  // namespace pm
