#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <QCoroTask>

#include <memory>

#include "app/AgentServices.h"

class QTimer;

namespace pm {

class AccountStore;
class AppSettings;
class BucketHistory;
class BucketStore;
class InboxWatcher;
class Keychain;
class ParcelmoorAPI;
class SyncCoordinating;
class Updater;
class UserNotifications;
class Workspace;

// The agent's composition root: it builds the model the agent runs on, starts everything once launching
// has finished, answers the settings program's requests and turns inbox batches into bucket items. It has
// no window of its own. Main thread only.
class AppDelegate final : public QObject {
  Q_OBJECT

 public:
  // Builds the fields in a fixed order: settings, store (over the history), accounts, sync, updater.
  explicit AppDelegate(AgentServices services, QObject* parent = nullptr);
  ~AppDelegate() override;

  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // The start-up sequence; runs once, later calls do nothing.
  void finishLaunching();

  // The agent was started again while running: a fresh wake marker means new batches wait, anything else
  // that the user wants the settings. Always true (the request is handled).
  bool reopen();
  // URLs handed to the agent, as the texts they came as: parcelmoor:// URLs go to a waiting drive sign-in
  // first; when none is taken (or none was given) the settings program opens. Other schemes are never
  // opened or fetched.
  void openUrls(const QStringList& urls);
  // Turns every waiting inbox batch into items of the open bucket and shows the panel.
  void drainInbox();
  void openSettingsApp();

  // The request handlers.
  void applySettingsChange();
  void settingsDidChange();
  void startSignIn();
  void signOutEverywhere();
  static QCoro::Task<> signOutEverywhere(QPointer<AppDelegate> delegate, ParcelmoorAPI& api);
  QCoro::Task<> connectPendingDrive();
  void refreshAccountState();
  void offerPairing();
  // Handlers that work without the delegate too: they are given what they use (`delegate` null when gone).
  static void checkForUpdatesNow(AppDelegate* delegate, Workspace& workspace);
  static QCoro::Task<> openBillingPage(QPointer<AppDelegate> delegate, ParcelmoorAPI& api,
                                       Workspace& workspace);
  static void requestNotificationPermission(UserNotifications& notifications);

  AppSettings& settings() const { return *settings_; }
  BucketStore& store() const { return *store_; }
  AccountStore& accounts() const { return *accounts_; }
  SyncCoordinating& sync() const { return *sync_; }
  Updater& updater() const { return *updater_; }
  // Null until launching has finished.
  InboxWatcher* watcher() const { return watcher_.get(); }
  QTimer* sessionTouch() const { return sessionTouch_.get(); }

 private:
  void installAgentObservers();
  void observePostNotification();
  void startSessionTouch();
  static void touchSession(const QPointer<AppDelegate>& delegate);

  AgentServices services_;
  std::unique_ptr<AppSettings> settings_;
  std::unique_ptr<BucketHistory> history_;
  std::unique_ptr<BucketStore> store_;
  std::unique_ptr<AccountStore> accounts_;
  std::unique_ptr<SyncCoordinating> sync_;
  std::unique_ptr<InboxWatcher> watcher_;
  std::unique_ptr<QTimer> sessionTouch_;
  std::unique_ptr<Updater> updater_;
  bool launched_ = false;
};

}  // namespace pm
