#include "AgentObservers.h"

#include <QCoreApplication>
#include <QThread>

#include "app/AppDelegate.h"
#include "app/ICloudAvailabilityCheck.h"
#include "sync/SyncCoordinating.h"
#include "app/Updater.h"
#include "platform/Workspace.h"
#include "core/AccountStore.h"
#include "core/UserNotifications.h"
#include "platform/Async.h"
#include "platform/Log.h"
#include "platform/Signals.h"

namespace pm {

namespace {

// Handlers touch main-thread objects only; a handler on another thread is a fault to stop at, not to
// run through.
void assumeMainActor() {
  if (QThread::currentThread() != QCoreApplication::instance()->thread())
    qFatal("a request handler ran outside the main thread");
}

QString requestName(const char* verb) {
  return QStringLiteral("com.wrenfold.Parcelmoor.") + QString::fromLatin1(verb);
}

// A handler that runs `member` on the delegate while it exists.
AgentHandler onDelegate(void (AppDelegate::*member)()) {
  return [member](AppDelegate* delegate) {
    if (delegate) (delegate->*member)();
  };
}

AgentHandler onSync(void (SyncCoordinating::*member)()) {
  return [member](AppDelegate* delegate) {
    if (delegate) (delegate->sync().*member)();
  };
}

}  // namespace

void observeAgentNotification(Signals& signals, const QString& name, AgentHandler handler,
                              QPointer<AppDelegate> box) {
  signals.observeDarwinNotification(name);
  // The signals object is the context: the observers stay for the whole process, like the bus match.
  signals.onNotification(name, &signals, [handler = std::move(handler), box] {
    assumeMainActor();
    handler(box.data());
  });
}

void AppDelegate::installAgentObservers() {
  Signals& signals = services_.signals;
  Workspace* workspace = &services_.workspace;
  UserNotifications* notifications = &services_.notifications;
  ICloudAvailabilityCheck* icloud = &services_.icloud;
  ParcelmoorAPI* api = &services_.api;
  const auto observe = [&signals](const char* verb, AgentHandler handler, QPointer<AppDelegate> box = {}) {
    observeAgentNotification(signals, requestName(verb), std::move(handler), std::move(box));
  };
  const QPointer<AppDelegate> box(this);

  observe(
      "checkForUpdates", [workspace](AppDelegate* delegate) { checkForUpdatesNow(delegate, *workspace); },
      box);
  observe("settingsChanged", onDelegate(&AppDelegate::settingsDidChange), box);
  observe("signIn", onDelegate(&AppDelegate::startSignIn), box);
  observe(
      "cancelSignIn",
      [](AppDelegate* delegate) {
        if (delegate) delegate->accounts().cancelSignIn();
      },
      box);
  observe("signOut", onDelegate(&AppDelegate::signOutEverywhere), box);
  observe("requestNotificationAccess",
          [notifications](AppDelegate*) { requestNotificationPermission(*notifications); });
  observe("checkICloud", [icloud](AppDelegate*) { icloud->checkAvailability(); });
  observe(
      "connectDrive",
      [](AppDelegate* delegate) {
        if (delegate) detachTask(delegate->connectPendingDrive(), lcDrive, "Connecting a drive account");
      },
      box);
  observe("refreshAccount", onDelegate(&AppDelegate::refreshAccountState), box);
  observe("syncEnable", onSync(&SyncCoordinating::enable), box);
  observe("syncDisable", onSync(&SyncCoordinating::disable), box);
  observe("syncSubmitCode", onSync(&SyncCoordinating::submitPendingCode), box);
  observe("syncOffer", onDelegate(&AppDelegate::offerPairing), box);
  observe("syncCancelPairing", onSync(&SyncCoordinating::cancelPairing), box);
  observe(
      "openBilling",
      [api, workspace](AppDelegate* delegate) {
        detachTask(openBillingPage(QPointer<AppDelegate>(delegate), *api, *workspace), lcAuth,
                   "Opening the billing page");
      },
      box);
}

}  // namespace pm
