#include "AppDelegate.h"

#include <QTimer>

#include "app/ICloudAvailabilityCheck.h"
#include "sync/SyncCoordinating.h"
#include "app/Updater.h"
#include "panel/UploadPanelControl.h"
#include "core/AccountStore.h"
#include "core/AppSettings.h"
#include "core/BucketHistory.h"
#include "core/SharedInbox.h"
#include "core/UserNotifications.h"
#include "platform/Async.h"
#include "platform/InboxWatcher.h"
#include "platform/Log.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "upload/BucketStore.h"

namespace pm {

namespace {
// One debug line per step, so a log of a slow or stuck start shows where it stands.
void traceStep(const char* step) {
  qCDebug(lcApp, "start-up: %s", step);
}
}  // namespace

AppDelegate::AppDelegate(AgentServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
  traceStep("settings");
  settings_ = std::make_unique<AppSettings>(services_.defaults, services_.signals, services_.clock);
  traceStep("store");
  history_ = std::make_unique<BucketHistory>(services_.paths.historyFile(), services_.clock);
  SharedInbox& inbox = services_.inbox;
  store_ = std::make_unique<BucketStore>(
      *history_, [&inbox](const std::optional<SharedInbox::OpenBucket>& open) { inbox.publish(open); },
      services_.clock);
  traceStep("accounts");
  accounts_ = std::make_unique<AccountStore>(services_.api, services_.keychain, services_.defaults,
                                             services_.signals, services_.clock);
  traceStep("sync");
  sync_ = services_.makeSync(*settings_);
  traceStep("updater");
  updater_ = std::make_unique<Updater>();
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::finishLaunching() {
  if (launched_) return;
  launched_ = true;

  traceStep("notification access");
  requestNotificationPermission(services_.notifications);
  traceStep("pending notifications");
  services_.notifications.flushPendingNotifications();
  traceStep("post-notification observer");
  observePostNotification();
  traceStep("request observers");
  installAgentObservers();
  traceStep("stale open bucket");
  services_.inbox.publish(std::nullopt);
  // A marker left from before this run must not count for a later reopen.
  traceStep("stale wake marker");
  services_.inbox.consumeUploadWake();
  traceStep("icloud check");
  services_.icloud.checkAvailability();
  traceStep("panel");
  services_.panel.attach(*store_, *settings_);
  traceStep("settings applied");
  applySettingsChange();
  // Batches that waited for the agent are taken before the watcher exists, so each is handled once.
  traceStep("inbox drain");
  drainInbox();
  traceStep("inbox watcher");
  const QPointer<AppDelegate> weak(this);
  const std::optional<QString> inboxFolder = services_.inbox.inboxFolder();
  watcher_ = std::make_unique<InboxWatcher>(inboxFolder.value_or(QString()), [weak] {
    if (weak) weak->drainInbox();
  });
  traceStep("session check");
  detachTask(accounts_->refresh(), lcAuth, "Start-up session check");
  // Sync's first pull reads its key from the keychain before it asks the service, and nothing a waiting
  // batch needs comes from it (what a pull brings arrives later anyway): the batch's items and the session
  // check go first.
  traceStep("sync polling");
  sync_->startPolling();
  traceStep("daily session check");
  startSessionTouch();
}

void AppDelegate::observePostNotification() {
  const QString name = QString::fromLatin1(names::signal::kPostNotification);
  Signals& signals = services_.signals;
  UserNotifications& notifications = services_.notifications;
  signals.observeDarwinNotification(name);
  // Lives as long as the signals: it needs nothing of the delegate.
  signals.onNotification(name, &signals, [&notifications] { notifications.flushPendingNotifications(); });
}

void AppDelegate::startSessionTouch() {
  sessionTouch_ = std::make_unique<QTimer>();
  sessionTouch_->setInterval(services_.sessionTouchInterval);
  const QPointer<AppDelegate> weak(this);
  QObject::connect(sessionTouch_.get(), &QTimer::timeout, sessionTouch_.get(),
                   [weak] { touchSession(weak); });
  sessionTouch_->start();
}

void AppDelegate::touchSession(const QPointer<AppDelegate>& delegate) {
  // Queued like any task: by the time it runs the delegate may be gone, and then nothing is checked.
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [delegate] {
        if (delegate) detachTask(delegate->accounts().refresh(), lcAuth, "Daily session check");
      },
      Qt::QueuedConnection);
}

}  // namespace pm
