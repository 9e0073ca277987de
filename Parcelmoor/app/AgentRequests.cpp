// The delegate's answers to the settings program's requests.
#include "app/AppDelegate.h"

#include "app/DriveSignIns.h"
#include "app/ICloudAvailabilityCheck.h"
#include "app/PendingDriveConnect.h"
#include "sync/SyncCoordinating.h"
#include "app/Updater.h"
#include "panel/UploadPanelControl.h"
#include "platform/Workspace.h"
#include "core/AccountStore.h"
#include "core/AppSettings.h"
#include "core/BillingPortal.h"
#include "core/ConnectorBookkeeping.h"
#include "core/ParcelmoorAPI.h"
#include "core/UploadError.h"
#include "core/UserNotifications.h"
#include "platform/Async.h"
#include "platform/Log.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "sync/SyncKey.h"
#include "sync/SyncState.h"

namespace pm {

namespace {

QString describe(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const UploadError& uploadError) {
    return uploadError.message();
  } catch (const std::exception& other) {
    return QString::fromUtf8(other.what());
  } catch (...) {
    return QStringLiteral("unknown error");
  }
}

// The service's own account page: the base URL with the path component "account" appended.
QUrl accountPage(QUrl base) {
  QString path = base.path();
  if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  base.setPath(path + QLatin1String("account"));
  return base;
}

QCoro::Task<> openVerificationPage(AccountStore* accounts, QPointer<AppDelegate> delegate,
                                   Workspace* workspace) {
  const std::optional<QUrl> page = co_await accounts->signIn();
  if (page && delegate) workspace->openUrl(*page);
}

QCoro::Task<> offerFlow(QPointer<SyncCoordinating> coordinator, QString key) {
  if (coordinator) co_await coordinator->offer(std::move(key));
}

}  // namespace

void AppDelegate::applySettingsChange() {
  updater_->setAutomaticallyChecks(settings_->automaticUpdates());
  // An empty stored list is unreadable or missing, never the user's intent: the list always holds the own
  // service. The setter is skipped for an equal list so observers see no change that is none.
  const QList<UploaderConfig> stored = UploaderConfig::loadAll(services_.defaults);
  if (!stored.isEmpty() && stored != settings_->uploaders()) settings_->setUploaders(stored);
  services_.panel.applyEdgeSetting();
  detachTask(withdrawStaleConnectors(services_.api, services_.defaults), lcApi,
             "Withdrawing stale connectors");
}

void AppDelegate::settingsDidChange() {
  applySettingsChange();
  sync_->schedulePush();
}

void AppDelegate::startSignIn() {
  detachTask(openVerificationPage(accounts_.get(), QPointer<AppDelegate>(this), &services_.workspace), lcAuth,
             "Sign-in");
}

void AppDelegate::signOutEverywhere() {
  detachTask(signOutEverywhere(QPointer<AppDelegate>(this), services_.api), lcAuth, "Server sign-out");
}

QCoro::Task<> AppDelegate::signOutEverywhere(QPointer<AppDelegate> delegate, ParcelmoorAPI& api) {
  // Read before forgetting: the server needs the token that forgetting deletes.
  const std::optional<QString> token = co_await api.sessionToken().load();
  if (!delegate) co_return;
  AccountStore& accounts = delegate->accounts();
  accounts.forgetSession();
  co_await accounts.signOutOnServer(token);
}

QCoro::Task<> AppDelegate::connectPendingDrive() {
  // Everything used after the first wait belongs to the program, not to the delegate.
  Signals& signals = services_.signals;
  DriveSignIns& drives = services_.drives;

  // Taken and removed in one step, so a repeated signal never repeats the attempt.
  const QVariant stored = services_.defaults.update(QString::fromLatin1(names::key::kPendingDriveConnect),
                                                    [](const QVariant&) { return QVariant(); });
  const QString value = stored.typeId() == QMetaType::QString ? stored.toString() : QString();
  const std::optional<PendingDriveConnect> request = PendingDriveConnect::parse(value);
  if (!request) co_return;

  const QByteArray word = providerName(request->provider).toUtf8();
  qCInfo(lcDrive, "connecting a %s account", word.constData());
  try {
    OAuthCredentials credentials = co_await drives.signIn(request->provider);
    if (needsAccountLabel(request->provider)) {
      credentials.account = co_await drives.fetchAccountLabel(request->provider, credentials.accessToken);
    }
    if (!drives.save(credentials, request->connection, request->provider)) {
      qCWarning(lcDrive, "connecting a %s account failed: the keychain did not store the tokens",
                word.constData());
    }
  } catch (...) {
    qCWarning(lcDrive, "connecting a %s account failed: %s", word.constData(),
              qUtf8Printable(describe(std::current_exception())));
  }
  // The settings program reloads either way: it finds the new tokens, or still none.
  signals.postDarwinNotification(QString::fromLatin1(names::signal::kSettingsChanged));
}

void AppDelegate::refreshAccountState() {
  detachTask(accounts_->refresh(), lcAuth, "Account refresh");
  services_.notifications.refreshNotificationAccess();
  services_.icloud.checkAvailability();
  // A running pairing flow owns the published sync state.
  if (!sync_->hasRunningFlow()) {
    const SyncState idle = loadSyncKey(services_.keychain) ? SyncState::on() : SyncState::off();
    idle.save(services_.defaults, services_.signals);
  }
  sync_->pull();
}

void AppDelegate::offerPairing() {
  const std::optional<QString> key = loadSyncKey(services_.keychain);
  if (!key) return;
  const QPointer<SyncCoordinating> coordinator(sync_.get());
  sync_->startFlow([coordinator, key = *key] { return offerFlow(coordinator, key); });
}

void AppDelegate::checkForUpdatesNow(AppDelegate* delegate, Workspace& workspace) {
  workspace.activateApplication();
  if (delegate) delegate->updater().checkNow();
}

QCoro::Task<> AppDelegate::openBillingPage(QPointer<AppDelegate> delegate, ParcelmoorAPI& api,
                                           Workspace& workspace) {
  std::optional<QUrl> portal;
  if (delegate) {
    const std::optional<QString> token = co_await api.sessionToken().load();
    if (token) {
      BillingPortal billing(api);
      portal = co_await billing.url(*token);
    }
  }
  workspace.openUrl(portal ? *portal : accountPage(api.baseUrl()));
}

void AppDelegate::requestNotificationPermission(UserNotifications& notifications) {
  // The desktop has no permission to ask for: the answer is whether a notification server is there.
  notifications.refreshNotificationAccess();
}

}  // namespace pm
