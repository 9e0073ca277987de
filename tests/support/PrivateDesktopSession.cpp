#include "PrivateDesktopSession.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QUuid>

#include <stdexcept>

#include "platform/SingleInstance.h"

namespace pm::test {

PrivateDesktopSession::PrivateDesktopSession(const QString& root) : root_(root) {
  QDir().mkpath(root_ + QLatin1String("/data/keyrings"));
  bus_.start(QStringLiteral("dbus-daemon"),
             {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
  if (!bus_.waitForStarted(5000)) throw std::runtime_error("dbus-daemon did not start");
  while (!bus_.canReadLine()) {
    if (!bus_.waitForReadyRead(5000)) throw std::runtime_error("dbus-daemon printed no address");
  }
  address_ = QString::fromUtf8(bus_.readLine()).trimmed();
  connection_ = QDBusConnection::connectToBus(
      address_, QStringLiteral("session-") + QUuid::createUuid().toString(QUuid::Id128));

  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  addTo(environment);
  environment.insert(QStringLiteral("HOME"), root_);
  environment.insert(QStringLiteral("XDG_DATA_HOME"), root_ + QLatin1String("/data"));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root_);
  keyring_.setProcessEnvironment(environment);
  keyring_.setStandardOutputFile(QProcess::nullDevice());
  keyring_.setStandardErrorFile(root_ + QLatin1String("/keyring.log"));
  keyring_.start(
      QStringLiteral("gnome-keyring-daemon"),
      {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
  if (!keyring_.waitForStarted(5000)) throw std::runtime_error("gnome-keyring-daemon did not start");
  keyring_.write("pw\n");
  keyring_.waitForBytesWritten(5000);
  keyring_.closeWriteChannel();
  QElapsedTimer timer;
  timer.start();
  while (!connection_.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"))) {
    if (timer.elapsed() > 10'000) throw std::runtime_error("the keyring never appeared on the private bus");
    QThread::msleep(10);
  }
}

PrivateDesktopSession::~PrivateDesktopSession() {
  QDBusConnection::disconnectFromBus(connection_.name());
  for (QProcess* process : {&keyring_, &bus_}) {
    process->terminate();
    if (!process->waitForFinished(3000)) process->kill();
    process->waitForFinished(3000);
  }
}

void PrivateDesktopSession::addTo(QProcessEnvironment& environment) const {
  environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
}

void postAgentSignal(const QString& busAddress, const QString& fullName) {
  const int exitCode = QProcess::execute(
      QStringLiteral("dbus-send"), {QStringLiteral("--bus=") + busAddress, QStringLiteral("--type=signal"),
                                    QStringLiteral("/com/wrenfold/Parcelmoor"), fullName});
  if (exitCode != 0) throw std::runtime_error("dbus-send failed");
}

void PrivateDesktopSession::post(const QString& fullName) const {
  postAgentSignal(address_, fullName);
}

QByteArray PrivateDesktopSession::runKeychainItem(const QStringList& arguments) const {
  QProcess helper;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  addTo(environment);
  helper.setProcessEnvironment(environment);
  helper.start(QStringLiteral(PM_KEYCHAIN_ITEM_PROGRAM), arguments);
  if (!helper.waitForFinished(20'000) || helper.exitStatus() != QProcess::NormalExit)
    throw std::runtime_error("the keychain helper did not finish");
  if (helper.exitCode() == 2) throw std::runtime_error("the private keyring refused the item");
  return helper.exitCode() == 0 ? helper.readAllStandardOutput() : QByteArray();
}

void PrivateDesktopSession::storeSecret(const QString& service, const QString& account,
                                        const QByteArray& value) const {
  runKeychainItem({QStringLiteral("store"), service, account, QString::fromLatin1(value.toBase64())});
}

std::optional<QByteArray> PrivateDesktopSession::loadSecret(const QString& service,
                                                            const QString& account) const {
  const QByteArray printed = runKeychainItem({QStringLiteral("load"), service, account});
  if (printed.isEmpty()) return std::nullopt;
  return QByteArray::fromBase64(printed.trimmed());
}

bool PrivateDesktopSession::agentIsServing() const {
  return SingleInstance::isRunning(connection_);
}

}  // namespace pm::test
