#include "AgentProcess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <stdexcept>

#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/SingleInstance.h"
#include "support/PrivateDesktopSession.h"

namespace pm::test {

namespace {

QString readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

AgentProcess::AgentProcess(const QString& root, const QUrl& service, const PrivateDesktopSession* session)
    : session_(session),
      root_(QDir::cleanPath(root)),
      suite_(QStringLiteral("agent-") + QUuid::createUuid().toString(QUuid::Id128)),
      environment_(QProcessEnvironment::systemEnvironment()) {
  const QString data = root_ + QLatin1String("/data");
  const QString config = root_ + QLatin1String("/config");
  const QString temporary = root_ + QLatin1String("/tmp");
  // The layout Paths::standard() derives from these variables in the agent.
  paths_ = Paths{data + QLatin1Char('/') + QLatin1String(names::kSuiteName),
                 data + QLatin1String("/Parcelmoor"), config + QLatin1String("/parcelmoor"), temporary};
  for (const QString& folder : {data, config, temporary}) {
    if (!ensurePrivateDirectory(folder)) throw std::runtime_error("cannot make the agent's folders");
  }

  const QString settingsProgram = root_ + QLatin1String("/settings-program");
  QFile script(settingsProgram);
  if (!script.open(QIODevice::WriteOnly) ||
      script.write("#!/bin/sh\necho launched >> '" + (root_ + QLatin1String("/settings-launches")).toUtf8() +
                   "'\n") < 0 ||
      !script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner))
    throw std::runtime_error("cannot write the stand-in settings program");

  environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment_.insert(QStringLiteral("XDG_DATA_HOME"), data);
  environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
  environment_.insert(QStringLiteral("TMPDIR"), temporary);
  environment_.insert(QStringLiteral("PARCELMOOR_TEST_SUITE"), suite_);
  environment_.insert(QStringLiteral("PARCELMOOR_API"), service.toString());
  environment_.insert(QStringLiteral("PARCELMOOR_SETTINGS_PROGRAM"), settingsProgram);
  environment_.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("com.wrenfold.Parcelmoor.*=true"));
  // The synced folder's root is the default one under the agent's own data folder.
  environment_.remove(QStringLiteral("PARCELMOOR_UBIQUITY_ROOT"));
  ubiquityRoot_ = data + QLatin1String("/parcelmoor/drive");
  if (session_) session_->addTo(environment_);
  process_.setProcessEnvironment(environment_);
  process_.setStandardErrorFile(logFile(), QIODevice::Append);
  process_.setStandardOutputFile(QProcess::nullDevice());
}

AgentProcess::~AgentProcess() {
  stop();
}

void AgentProcess::showOnDisplay(double scale) {
  environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  environment_.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale));
  process_.setProcessEnvironment(environment_);
}

void AgentProcess::useDesktopTheme(const QString& gtkTheme) {
  environment_.insert(QStringLiteral("QT_QPA_PLATFORMTHEME"), QStringLiteral("gtk3"));
  environment_.insert(QStringLiteral("GTK_THEME"), gtkTheme);
  process_.setProcessEnvironment(environment_);
}

void AgentProcess::start(const QStringList& arguments) {
  process_.start(QStringLiteral(PM_AGENT_PROGRAM), arguments);
  if (!process_.waitForStarted(10'000)) throw std::runtime_error("the agent did not start");
}

bool AgentProcess::waitUntilServing(std::chrono::milliseconds timeout) {
  QElapsedTimer timer;
  timer.start();
  while (!isServing()) {
    if (!isRunning() || timer.elapsed() > timeout.count()) return false;
    QThread::msleep(2);
  }
  return isRunning();
}

void AgentProcess::stop() {
  stopDetachedAgents();
  if (!isRunning()) return;
  process_.terminate();
  if (!process_.waitForFinished(5000)) {
    process_.kill();
    process_.waitForFinished(5000);
  }
  // The bus lets the name go a moment after the process is gone; the next agent must not meet it.
  QElapsedTimer timer;
  timer.start();
  while (isServing() && timer.elapsed() < 5000) QThread::msleep(2);
}

QList<qint64> AgentProcess::detachedAgents() const {
  // Every process's environment is read, as a detached agent has no parent of ours to find it by; the
  // suite's name is this environment's alone.
  const QByteArray marker = "PARCELMOOR_TEST_SUITE=" + suite_.toUtf8();
  const QString program = QFileInfo(QStringLiteral(PM_AGENT_PROGRAM)).canonicalFilePath();
  QList<qint64> found;
  const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    bool numeric = false;
    const qint64 pid = entry.toLongLong(&numeric);
    if (!numeric || pid == process_.processId()) continue;
    const QString proc = QLatin1String("/proc/") + entry;
    if (QFileInfo(proc + QLatin1String("/exe")).canonicalFilePath() != program) continue;
    QFile environ(proc + QLatin1String("/environ"));
    if (!environ.open(QIODevice::ReadOnly)) continue;
    if (environ.readAll().split('\0').contains(marker)) found.append(pid);
  }
  return found;
}

void AgentProcess::stopDetachedAgents() {
  const QList<qint64> agents = detachedAgents();
  if (agents.isEmpty()) return;
  for (const qint64 pid : agents) ::kill(pid_t(pid), SIGTERM);
  QElapsedTimer timer;
  timer.start();
  while (!detachedAgents().isEmpty() && timer.elapsed() < 5000) QThread::msleep(5);
  for (const qint64 pid : detachedAgents()) ::kill(pid_t(pid), SIGKILL);
  while (!detachedAgents().isEmpty() && timer.elapsed() < 10000) QThread::msleep(5);
  // As after stop(): the next agent must not meet the name the ended one held.
  while (!isRunning() && isServing() && timer.elapsed() < 15000) QThread::msleep(2);
}

std::optional<int> AgentProcess::waitForExit(std::chrono::milliseconds timeout) {
  if (!process_.waitForFinished(int(timeout.count())) && isRunning()) return std::nullopt;
  if (process_.exitStatus() != QProcess::NormalExit) return std::nullopt;
  return process_.exitCode();
}

AgentProcess::Finished AgentProcess::launch(const QStringList& arguments, bool withoutDisplay,
                                            std::chrono::milliseconds timeout,
                                            const QString& workingDirectory) const {
  QProcessEnvironment environment = environment_;
  if (withoutDisplay) {
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
      environment.remove(QString::fromLatin1(variable));
  }
  QProcess launched;
  launched.setProcessEnvironment(environment);
  if (!workingDirectory.isEmpty()) launched.setWorkingDirectory(workingDirectory);
  launched.start(QStringLiteral(PM_AGENT_PROGRAM), arguments);
  // The caller's own bus connection stays served meanwhile: the launch may call on it.
  QElapsedTimer timer;
  timer.start();
  while (!launched.waitForFinished(5) && launched.state() != QProcess::NotRunning &&
         timer.elapsed() < timeout.count())
    QCoreApplication::processEvents();
  Finished finished;
  if (launched.state() != QProcess::NotRunning) {
    launched.kill();
    launched.waitForFinished(5000);
  } else if (launched.exitStatus() == QProcess::NormalExit) {
    finished.exitCode = launched.exitCode();
  }
  finished.output = QString::fromUtf8(launched.readAllStandardOutput());
  finished.errors = QString::fromUtf8(launched.readAllStandardError());
  return finished;
}

QString AgentProcess::logFile() const {
  return root_ + QLatin1String("/agent.log");
}

QString AgentProcess::log() const {
  return readAll(logFile());
}

QVariant AgentProcess::preference(const QString& key) const {
  return FileSharedDefaults(paths_.suiteFile(suite_)).object(key);
}

int AgentProcess::settingsProgramLaunches() const {
  return int(readAll(root_ + QLatin1String("/settings-launches")).count(QLatin1String("launched")));
}

void AgentProcess::setPreference(const QString& key, const QVariant& value) const {
  if (!FileSharedDefaults(paths_.suiteFile(suite_)).set(key, value))
    throw std::runtime_error("cannot write the agent's preferences suite");
}

bool AgentProcess::isServing() const {
  return session_ ? session_->agentIsServing() : nameIsOwned();
}

bool AgentProcess::nameIsOwned() {
  return SingleInstance::isRunning(QDBusConnection::sessionBus());
}

}  // namespace pm::test
