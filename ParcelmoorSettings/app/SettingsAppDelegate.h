#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <chrono>

class QWidget;

namespace pm {
class Signals;
}

namespace pm::settings {

class AgentWatch;

// The settings program's life around its one window: it brings the window forward, relays the agent's
// four "changed" signals to the pages, asks the agent to refresh the account whenever the program becomes
// active and to cancel a running sign-in when it ends, and ends the program once the agent is gone
// (except in a test run, which must not depend on an agent).
class SettingsAppDelegate final : public QObject {
  Q_OBJECT

 public:
  struct Options {
    bool testSuite = false;
    // Where the agent's bus name is looked for.
    QDBusConnection bus = QDBusConnection::sessionBus();
    QString agentName = QStringLiteral("com.wrenfold.Parcelmoor");
    std::chrono::milliseconds agentCheckInterval = std::chrono::seconds(1);
  };

  SettingsAppDelegate(Signals& signals, Options options, QObject* parent = nullptr);

  // After the window is made: shows it in front, bridges the signals and, outside a test run, starts
  // watching the agent.
  void finishLaunching(QWidget& window);
  bool isWatchingAgent() const { return watch_ != nullptr; }

  void applicationDidBecomeActive();
  void applicationWillTerminate();

 Q_SIGNALS:
  // The agent is gone: the program should end.
  void terminateRequested();

 private:
  Signals& signals_;
  Options options_;
  AgentWatch* watch_ = nullptr;  // a child, made at launch outside a test run
};

}  // namespace pm::settings
