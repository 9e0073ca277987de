#include "PrivateBus.h"

#include <QUuid>

#include <stdexcept>

#include "support/PrivateDesktopSession.h"

namespace pm::test {

PrivateBus::PrivateBus() {
  daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                QStringLiteral("--print-address=1")});
  if (!daemon_.waitForStarted(5000)) throw std::runtime_error("dbus-daemon did not start");
  while (!daemon_.canReadLine()) {
    if (!daemon_.waitForReadyRead(5000)) throw std::runtime_error("dbus-daemon printed no address");
  }
  address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
  daemon_.terminate();
  if (!daemon_.waitForFinished(3000)) daemon_.kill();
}

QDBusConnection PrivateBus::connect() const {
  return QDBusConnection::connectToBus(address_,
                                       QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::Id128));
}

void PrivateBus::postFromAnotherProcess(const QString& fullName) const {
  postAgentSignal(address_, fullName);
}

}  // namespace pm::test
