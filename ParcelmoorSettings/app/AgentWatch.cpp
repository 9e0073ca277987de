#include "AgentWatch.h"

#include <QDBusServiceWatcher>

#include "platform/SingleInstance.h"

namespace pm::settings {

AgentWatch::AgentWatch(QDBusConnection connection, QString agentName, std::chrono::milliseconds interval,
                       QObject* parent)
    : QObject(parent), connection_(std::move(connection)), agentName_(std::move(agentName)) {
  timer_.setInterval(interval);
  connect(&timer_, &QTimer::timeout, this, &AgentWatch::check);
}

void AgentWatch::start() {
  if (!departures_) {
    departures_ =
        new QDBusServiceWatcher(agentName_, connection_, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(departures_, &QDBusServiceWatcher::serviceUnregistered, this, &AgentWatch::check);
  }
  timer_.start();
}

void AgentWatch::check() {
  // Without a bus the agent cannot be reached either: that counts as gone.
  if (!SingleInstance::isRunning(connection_, agentName_)) Q_EMIT agentGone();
}

}  // namespace pm::settings
