#include "SettingsAppDelegate.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <QWidget>

#include "app/AgentWatch.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm::settings {

SettingsAppDelegate::SettingsAppDelegate(Signals& signals, Options options, QObject* parent)
    : QObject(parent), signals_(signals), options_(std::move(options)) {
  connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive) applicationDidBecomeActive();
  });
  connect(qApp, &QCoreApplication::aboutToQuit, this, &SettingsAppDelegate::applicationWillTerminate);
}

void SettingsAppDelegate::finishLaunching(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();

  for (const char* name : {names::signal::kAccountChanged, names::signal::kSyncChanged,
                           names::signal::kSettingsChanged, names::signal::kNotificationAccessChanged})
    signals_.observeDarwinNotification(QString::fromLatin1(name));

  if (options_.testSuite) return;
  watch_ = new AgentWatch(options_.bus, options_.agentName, options_.agentCheckInterval, this);
  connect(watch_, &AgentWatch::agentGone, this, &SettingsAppDelegate::terminateRequested);
  watch_->start();
}

void SettingsAppDelegate::applicationDidBecomeActive() {
  signals_.postDarwinNotification(QString::fromLatin1(names::signal::kRefreshAccount));
}

void SettingsAppDelegate::applicationWillTerminate() {
  signals_.postDarwinNotification(QString::fromLatin1(names::signal::kCancelSignIn));
  // The process ends right after this: one round trip on the bus makes sure the signal has left.
  if (options_.bus.isConnected()) options_.bus.interface()->isServiceRegistered(options_.agentName);
}

}  // namespace pm::settings
