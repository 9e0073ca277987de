#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

class QDBusServiceWatcher;

namespace pm::settings {

// Tells when the agent is gone: asked every `interval` and whenever an owner of the agent's bus name
// leaves the bus. Each time it asks the same question (does any process own the name now?), so a quick
// restart of the agent between two checks goes unnoticed, as it should.
class AgentWatch final : public QObject {
  Q_OBJECT

 public:
  AgentWatch(QDBusConnection connection, QString agentName, std::chrono::milliseconds interval,
             QObject* parent = nullptr);

  void start();

 Q_SIGNALS:
  // Each check that finds no agent; the receiver ends the program.
  void agentGone();

 private:
  void check();

  QDBusConnection connection_;
  QString agentName_;
  QTimer timer_;
  QDBusServiceWatcher* departures_ = nullptr;
};

}  // namespace pm::settings
