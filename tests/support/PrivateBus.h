#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

namespace pm::test {

// A D-Bus daemon of the test's own, so signals posted in one test never reach another test running at
// the same time on the session bus.
class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const QString& address() const { return address_; }
  // A new connection to the bus, named uniquely for this process.
  QDBusConnection connect() const;
  // Posts a signal from another process (dbus-send), the way the settings program's would arrive.
  void postFromAnotherProcess(const QString& fullName) const;

 private:
  QProcess daemon_;
  QString address_;
};

}  // namespace pm::test
