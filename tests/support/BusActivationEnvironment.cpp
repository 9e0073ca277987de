#include "BusActivationEnvironment.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QMap>

namespace pm::test {

void shareHomeWithBusActivatedServices() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  qDBusRegisterMetaType<QMap<QString, QString>>();
  QMap<QString, QString> environment;
  for (const char* name : {"HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
    if (qEnvironmentVariableIsSet(name)) environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("UpdateActivationEnvironment"));
  call << QVariant::fromValue(environment);
  bus.call(call, QDBus::Block, 5000);
}

}  // namespace pm::test
