#pragma once

#include <QCoroTask>

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <optional>

#include "core/AccountState.h"
#include "core/UploaderConfig.h"
#include "views/ConnectionTest.h"

namespace pm {
class SharedDefaults;
class Signals;
}  // namespace pm

namespace pm::settings {

class AppSettings;
class ConnectionChecks;

// Every rule of the Apps page, without widgets: which connections show and where, the test results the
// page keeps (and loses with it), what the empty state offers, and the texts of the delete alert.
class ConnectionsPageModel final : public QObject {
  Q_OBJECT

 public:
  enum class EmptyAction { signIn, subscribe };

  // `openUrl` opens a web page in the user's browser; `serviceBase` is where "/pricing" lives.
  ConnectionsPageModel(AppSettings& settings, const SharedDefaults& defaults, Signals& signals,
                       ConnectionChecks& checks, QUrl serviceBase, std::function<bool(const QUrl&)> openUrl,
                       QObject* parent = nullptr);

  // The stored connections in stored order; the own-service one only while the stored account is
  // signed in with a subscription.
  QList<UploaderConfig> visibleConnections() const;
  // The own service and the S3/R2 connections that make share links.
  QList<UploaderConfig> fileSharing() const;
  // Everything else that is visible.
  QList<UploaderConfig> uploaders() const;
  static bool sharesFiles(const UploaderConfig& config);

  const AccountState& account() const { return account_; }
  EmptyAction emptyAction() const;
  // Asks the agent to sign in.
  void signIn();
  // Opens the pricing page.
  void subscribe();

  std::optional<ConnectionTest> test(const QUuid& id) const;
  // Shows the test as running at once and stores its result when it returns; the last result to arrive
  // for a connection stays.
  void runTest(const UploaderConfig& config);
  static QString successText(UploaderConfig::Kind kind);

  // The own service can only be tested.
  static bool isEditable(const UploaderConfig& config);

  // A connection of `kind` with a new identifier and nothing filled in.
  static UploaderConfig newDraft(UploaderConfig::Kind kind);
  bool isNew(const UploaderConfig& draft) const;
  void save(const UploaderConfig& config);
  void remove(const UploaderConfig& config);
  static QString deleteTitle(const std::optional<UploaderConfig>& pending);
  static QString deleteMessage();

 Q_SIGNALS:
  void testChanged(const QUuid& id);
  void accountChanged();
  void connectionsChanged();

 private:
  // Static, so a page that closes while the test runs is not touched when it ends.
  static QCoro::Task<> check(QPointer<ConnectionsPageModel> page, ConnectionChecks& checks,
                             UploaderConfig config);
  QString ownServiceText() const;

  AppSettings& settings_;
  const SharedDefaults& defaults_;
  Signals& signals_;
  ConnectionChecks& checks_;
  const QUrl serviceBase_;
  const std::function<bool(const QUrl&)> openUrl_;
  AccountState account_;
  QHash<QUuid, ConnectionTest> tests_;
};

}  // namespace pm::settings
