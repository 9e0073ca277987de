#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace pm::test {

// Posts a signal of the agent ("com.wrenfold.Parcelmoor.<verb>") on the bus at `busAddress` from another
// process (dbus-send), the way the settings program's would arrive. Throws when dbus-send fails.
void postAgentSignal(const QString& busAddress, const QString& fullName);

// A desktop session of the test's own: a D-Bus session bus and an unlocked keyring (gnome-keyring's
// Secret Service) on it, with its files under `root`. Programs started with environment() on top of
// theirs post and receive signals on this bus only and keep their secrets in this keyring only, so two
// agents can run side by side like two computers. Stopped when destroyed.
class PrivateDesktopSession {
 public:
  explicit PrivateDesktopSession(const QString& root);
  ~PrivateDesktopSession();
  PrivateDesktopSession(const PrivateDesktopSession&) = delete;
  PrivateDesktopSession& operator=(const PrivateDesktopSession&) = delete;

  const QString& busAddress() const { return address_; }
  // DBUS_SESSION_BUS_ADDRESS for a program of this session.
  void addTo(QProcessEnvironment& environment) const;
  // Posts a signal of the agent ("com.wrenfold.Parcelmoor.<verb>") on this bus, from another process.
  void post(const QString& fullName) const;
  // The agent's keychain items in this keyring, through a helper process on this bus.
  void storeSecret(const QString& service, const QString& account, const QByteArray& value) const;
  std::optional<QByteArray> loadSecret(const QString& service, const QString& account) const;
  // Whether an agent owns its bus name on this bus.
  bool agentIsServing() const;

 private:
  QByteArray runKeychainItem(const QStringList& arguments) const;

  QString root_;
  QProcess bus_;
  QProcess keyring_;
  QString address_;
  QDBusConnection connection_{QString()};
};

}  // namespace pm::test
