#include "PrivateSession.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <stdexcept>

namespace pm::bench {

namespace {

void stopProcess(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();
  if (!process.waitForFinished(3000)) {
    process.kill();
    process.waitForFinished(3000);
  }
}

}  // namespace

PrivateSession::PrivateSession() {
  try {
    start();
  } catch (...) {
    stop();
    throw;
  }
}

PrivateSession::~PrivateSession() {
  stop();
}

void PrivateSession::start() {
  if (!home_.isValid()) throw std::runtime_error("no temporary folder for the private session");
  bus_.start(QStringLiteral("dbus-daemon"),
             {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
  while (!bus_.canReadLine()) {
    if (!bus_.waitForReadyRead(5000)) throw std::runtime_error("dbus-daemon did not start");
  }
  qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.readLine().trimmed());

  // A keyring of its own, in a home of its own, unlocked with a throw-away password.
  const QString home = home_.path();
  const QString runtime = home + QLatin1String("/run");
  QDir().mkpath(home + QLatin1String("/data/keyrings"));
  QDir().mkpath(runtime);
  QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("HOME"), home);
  environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QLatin1String("/data"));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
  keyring_.setProcessEnvironment(environment);
  keyring_.setStandardOutputFile(QProcess::nullDevice());
  keyring_.start(
      QStringLiteral("gnome-keyring-daemon"),
      {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
  if (!keyring_.waitForStarted(5000)) throw std::runtime_error("gnome-keyring-daemon did not start");
  // Without an event loop the password must be pushed out before the channel closes.
  keyring_.write("benchmark\n");
  keyring_.waitForBytesWritten(5000);
  keyring_.closeWriteChannel();

  QElapsedTimer waited;
  waited.start();
  const QString secrets = QStringLiteral("org.freedesktop.secrets");
  while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(secrets).value()) {
    if (waited.elapsed() > 10'000 || keyring_.state() == QProcess::NotRunning)
      throw std::runtime_error("the keyring did not come up on the private bus");
    QThread::msleep(10);
  }
}

void PrivateSession::stop() {
  stopProcess(keyring_);
  stopProcess(bus_);
}

}  // namespace pm::bench
