#include "Signals.h"

#include <QDBusMessage>

#include "Log.h"

namespace pm {

namespace {

constexpr char kObjectPath[] = "/com/wrenfold/Parcelmoor";

struct BusName {
  QString interface;
  QString member;
};

std::optional<BusName> splitName(const QString& name) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot <= 0 || dot == name.size() - 1) return std::nullopt;
  return BusName{name.left(dot), name.mid(dot + 1)};
}

}  // namespace

void Signals::observeDarwinNotification(const QString& name) {
  if (registeredDarwinNames_.contains(name)) return;
  registeredDarwinNames_.insert(name);
  subscribe(name);
}

QMetaObject::Connection Signals::onNotification(const QString& name, const QObject* context,
                                                std::function<void()> handler) {
  return connect(this, &Signals::notified, context, [name, handler = std::move(handler)](const QString& got) {
    if (got == name) handler();
  });
}

void Signals::deliver(const QString& name) {
  if (name.isEmpty() || !registeredDarwinNames_.contains(name)) return;
  Q_EMIT notified(name);
}

DBusSignals::DBusSignals(QDBusConnection connection, QObject* parent)
    : Signals(parent), connection_(std::move(connection)) {
  if (!connection_.isConnected()) {
    qCWarning(lcSignals) << "No D-Bus session bus: signals between the programs are off"
                         << connection_.lastError().message();
  }
}

void DBusSignals::postDarwinNotification(const QString& name) {
  const auto bus = splitName(name);
  if (!bus) {
    qCWarning(lcSignals) << "Not a signal name:" << name;
    return;
  }
  QDBusMessage message = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath), bus->interface, bus->member);
  if (!connection_.send(message)) {
    qCWarning(lcSignals) << "Could not post" << name << connection_.lastError().message();
  }
}

void DBusSignals::subscribe(const QString& name) {
  const auto bus = splitName(name);
  if (!bus) {
    qCWarning(lcSignals) << "Not a signal name:" << name;
    return;
  }
  const bool ok = connection_.connect(QString(), QString::fromLatin1(kObjectPath), bus->interface, bus->member,
                                      this, SLOT(onBusSignal(QDBusMessage)));
  if (!ok) qCWarning(lcSignals) << "Could not observe" << name << connection_.lastError().message();
}

void DBusSignals::onBusSignal(const QDBusMessage& message) {
  deliver(message.interface() + QLatin1Char('.') + message.member());
}

void LocalSignals::postDarwinNotification(const QString& name) {
  posted_.append(name);
  // Delivered from the event loop, as a bus delivery would be, so no handler runs inside the poster.
  QMetaObject::invokeMethod(this, [this, name] { deliver(name); }, Qt::QueuedConnection);
}

}  // namespace pm
