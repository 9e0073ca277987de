#include "ConnectionsPageModel.h"

#include <algorithm>

#include "model/AppSettings.h"
#include "model/ConnectionChecks.h"
#include "platform/Async.h"
#include "platform/Log.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "views/AppendingPath.h"

namespace pm::settings {

namespace {

bool isSubscribed(const AccountState& account) {
  return account.kind() == AccountState::Case::signedIn && account.subscribed();
}

}  // namespace

ConnectionsPageModel::ConnectionsPageModel(AppSettings& settings, const SharedDefaults& defaults,
                                           Signals& signals, ConnectionChecks& checks, QUrl serviceBase,
                                           std::function<bool(const QUrl&)> openUrl, QObject* parent)
    : QObject(parent),
      settings_(settings),
      defaults_(defaults),
      signals_(signals),
      checks_(checks),
      serviceBase_(std::move(serviceBase)),
      openUrl_(std::move(openUrl)),
      account_(AccountState::load(defaults)) {
  signals_.onNotification(QString::fromLatin1(names::signal::kAccountChanged), this, [this] {
    account_ = AccountState::load(defaults_);
    Q_EMIT accountChanged();
  });
  connect(&settings_, &AppSettings::uploadersChanged, this, &ConnectionsPageModel::connectionsChanged);
}

QList<UploaderConfig> ConnectionsPageModel::visibleConnections() const {
  // Read afresh: the agent may have written the account before its signal arrives.
  const bool ownServiceShown = isSubscribed(AccountState::load(defaults_));
  QList<UploaderConfig> visible;
  for (const UploaderConfig& config : settings_.uploaders()) {
    if (config.kind != UploaderConfig::Kind::parcelmoor || ownServiceShown) visible.append(config);
  }
  return visible;
}

bool ConnectionsPageModel::sharesFiles(const UploaderConfig& config) {
  switch (config.kind) {
    case UploaderConfig::Kind::parcelmoor:
      return true;
    case UploaderConfig::Kind::customS3:
    case UploaderConfig::Kind::r2:
      return config.parcelmoorDownloads;
    default:
      return false;
  }
}

QList<UploaderConfig> ConnectionsPageModel::fileSharing() const {
  QList<UploaderConfig> rows = visibleConnections();
  rows.removeIf([](const UploaderConfig& config) { return !sharesFiles(config); });
  return rows;
}

QList<UploaderConfig> ConnectionsPageModel::uploaders() const {
  QList<UploaderConfig> rows = visibleConnections();
  rows.removeIf(&ConnectionsPageModel::sharesFiles);
  return rows;
}

ConnectionsPageModel::EmptyAction ConnectionsPageModel::emptyAction() const {
  return account_.kind() == AccountState::Case::signedIn ? EmptyAction::subscribe : EmptyAction::signIn;
}

void ConnectionsPageModel::signIn() { signals_.postDarwinNotification(QString::fromLatin1(names::signal::kSignIn)); }

void ConnectionsPageModel::subscribe() {
  openUrl_(appendingPath(serviceBase_, QStringLiteral("pricing")));
}

std::optional<ConnectionTest> ConnectionsPageModel::test(const QUuid& id) const {
  const auto found = tests_.constFind(id);
  if (found == tests_.constEnd()) return std::nullopt;
  return *found;
}

QString ConnectionsPageModel::successText(UploaderConfig::Kind kind) {
  switch (kind) {
    case UploaderConfig::Kind::parcelmoor:
      return tr("Reached Parcelmoor.");
    case UploaderConfig::Kind::customS3:
    case UploaderConfig::Kind::r2:
      return tr("Reached the bucket.");
    case UploaderConfig::Kind::ftp:
      return tr("Reached the server.");
    case UploaderConfig::Kind::icloud:
      return tr("iCloud Drive is ready.");
    case UploaderConfig::Kind::googleDrive:
      return tr("Reached Google Drive.");
    case UploaderConfig::Kind::oneDrive:
      return tr("Reached OneDrive.");
    case UploaderConfig::Kind::dropbox:
      return tr("Reached Dropbox.");
  }
  Q_UNREACHABLE();
  return QString();
}

QString ConnectionsPageModel::ownServiceText() const {
  if (account_.kind() != AccountState::Case::signedIn)
    return tr("Reached Parcelmoor. Sign in to use this connection.");
  if (!account_.subscribed()) return tr("Reached Parcelmoor. This connection needs a subscription.");
  return tr("Reached Parcelmoor.");
}

void ConnectionsPageModel::runTest(const UploaderConfig& config) {
  tests_.insert(config.id, ConnectionTest::running());
  Q_EMIT testChanged(config.id);
  detachTask(check(QPointer<ConnectionsPageModel>(this), checks_, config), lcApi, "Testing a connection");
}

QCoro::Task<> ConnectionsPageModel::check(QPointer<ConnectionsPageModel> page, ConnectionChecks& checks,
                                          UploaderConfig config) {
  const QUuid id = config.id;
  const UploaderConfig::Kind kind = config.kind;
  const std::optional<QString> failure = co_await checks.test(std::move(config));
  if (!page) co_return;
  ConnectionTest result = failure ? ConnectionTest::failed(*failure)
                          : kind == UploaderConfig::Kind::parcelmoor
                              ? ConnectionTest::ok(page->ownServiceText())
                              : ConnectionTest::ok(successText(kind));
  page->tests_.insert(id, std::move(result));
  Q_EMIT page->testChanged(id);
}

bool ConnectionsPageModel::isEditable(const UploaderConfig& config) {
  return config.kind != UploaderConfig::Kind::parcelmoor;
}

UploaderConfig ConnectionsPageModel::newDraft() {
  // A fresh identifier, empty texts, port 0 and explicit TLS come with the kind.
  UploaderConfig draft(UploaderConfig::Kind::icloud);
  draft.updatedAt = QDateTime::currentDateTimeUtc();
  return draft;
}

bool ConnectionsPageModel::isNew(const UploaderConfig& draft) const {
  return std::none_of(settings_.uploaders().cbegin(), settings_.uploaders().cend(),
                      [&draft](const UploaderConfig& stored) { return stored.id == draft.id; });
}

void ConnectionsPageModel::save(const UploaderConfig& config) { settings_.upsert(config); }

void ConnectionsPageModel::remove(const UploaderConfig& config) { settings_.remove(config); }

QString ConnectionsPageModel::deleteTitle(const std::optional<UploaderConfig>& pending) {
  return tr("Delete %1?").arg(pending ? pending->displayName() : QString());
}

QString ConnectionsPageModel::deleteMessage() {
  return tr("The connection and its keys are removed from this computer. Files you already uploaded stay in "
            "your storage.");
}

}  // namespace pm::settings
