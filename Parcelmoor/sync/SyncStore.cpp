#include "SyncStore.h"

#include <QHash>
#include <QSet>

#include <algorithm>

#include "connectors/OAuthProvider.h"
#include "core/AppSettings.h"
#include "core/Identifiers.h"
#include "core/StoredConnections.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"
#include "platform/Log.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "sync/CredentialMarks.h"
#include "sync/PayloadDates.h"

namespace pm {

namespace {

bool isOwnService(const UploaderConfig& config) {
  return config.kind == UploaderConfig::Kind::parcelmoor;
}

QMap<QString, QDateTime> toWholeSeconds(QMap<QString, QDateTime> dates) {
  for (QDateTime& date : dates) date = wholeSecond(date);
  return dates;
}

// Flags travel as "true"/"false", texts as themselves; any other stored type is not synced.
std::optional<QString> preferenceText(const QVariant& stored) {
  switch (stored.typeId()) {
    case QMetaType::Bool:
      return stored.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::QString:
      return stored.toString();
    default:
      return std::nullopt;
  }
}

// The credential stored under `service` and `account`; nothing when no item is stored or it does not
// decode. Throws CredentialsUnreadable when the keychain could not say.
template <typename Credential>
std::optional<Credential> storedCredential(const Keychain& keychain, const QString& service,
                                           const QString& account) {
  const Keychain::Lookup found = keychain.find(service, account);
  if (found.status == Keychain::Status::Failed) throw SyncStore::CredentialsUnreadable();
  if (found.status == Keychain::Status::NotFound) return std::nullopt;
  return Credential::fromJson(found.data);
}

// Compared as the payload carries them: a token's expiry whole to the second.
template <typename Credential>
bool sameAsCarried(const Credential& stored, const Credential& carried) {
  return stored == carried;
}

template <>
bool sameAsCarried(const OAuthCredentials& stored, const OAuthCredentials& carried) {
  OAuthCredentials whole = stored;
  whole.expiresAt = wholeSecond(stored.expiresAt);
  return whole == carried;
}

// Saves `carried` unless the item already holds it, so a pull every 30 seconds does not rewrite every
// keychain item. `storable` is what the record's save would keep; anything else means "no item".
template <typename Credential, typename Storable, typename Save>
void saveIfChanged(const Keychain& keychain, const QString& service, const QString& account,
                   std::optional<Credential> carried, Storable storable, Save save) {
  if (carried && !storable(*carried)) carried.reset();
  const Keychain::Lookup found = keychain.find(service, account);
  if (found.status == Keychain::Status::NotFound && !carried) return;
  if (found.status == Keychain::Status::Found && carried) {
    const std::optional<Credential> stored = Credential::fromJson(found.data);
    if (stored && sameAsCarried(*stored, *carried)) return;
  }
  save(carried);
}

}  // namespace

SyncStore::SyncStore(SharedDefaults& defaults, Signals& signals, Keychain& keychain, AppSettings& settings,
                     const Clock& clock)
    : defaults_(defaults), signals_(signals), keychain_(keychain), settings_(settings), clock_(clock) {}

SyncStore::Entry SyncStore::withStoredCredentials(UploaderConfig config) const {
  const QString account = uuidText(config.id);
  std::optional<OAuthCredentials> google =
      storedCredential<OAuthCredentials>(keychain_, keychainService(OAuthProvider::google), account);
  std::optional<OAuthCredentials> microsoft =
      storedCredential<OAuthCredentials>(keychain_, keychainService(OAuthProvider::microsoft), account);
  for (std::optional<OAuthCredentials>* tokens : {&google, &microsoft}) {
    if (*tokens) (*tokens)->expiresAt = wholeSecond((*tokens)->expiresAt);
  }
  return Entry{std::move(config),
               storedCredential<S3Credentials>(keychain_, S3Credentials::keychainService(), account),
               storedCredential<FTPCredentials>(keychain_, FTPCredentials::keychainService(), account),
               std::move(google), std::move(microsoft)};
}

SyncStore::Payload SyncStore::localPayload() {
  const std::optional<StoredConnections> stored = StoredConnections::load(defaults_);
  if (!stored || !defaults_.read(QString::fromLatin1(names::key::kDeletedUploaders)))
    throw SettingsUnreadable();
  Payload payload;
  for (UploaderConfig config : stored->configs()) {
    if (isOwnService(config)) continue;
    config.updatedAt = wholeSecond(config.updatedAt);
    payload.uploaders.append(withStoredCredentials(std::move(config)));
  }
  dateCredentials(payload.uploaders);

  payload.deleted = toWholeSeconds(settings_.readDeletedUploaders());

  const AppSettings::DatedKeys stamps = settings_.readPreferenceChanges();
  const QList<QString> keys = AppSettings::syncedPreferenceKeys().keys();
  for (const QString& key : keys) {
    const std::optional<QString> value = preferenceText(defaults_.object(key));
    if (!value) continue;
    payload.preferences.insert(key,
                               Pref{*value, wholeSecond(stamps.value(key, UploaderConfig::distantPast()))});
  }
  return payload;
}

void SyncStore::apply(const Payload& payload) {
  const QList<Entry> entries = applicableEntries(payload);
  settings_.writeDeletedUploaders(payload.deleted);
  if (applyPreferences(payload))
    signals_.postDarwinNotification(QString::fromLatin1(names::signal::kSettingsChanged));
  for (const Entry& entry : entries) applyCredentials(entry);
  markAppliedCredentials(entries);
  applyConnections(entries);
}

void SyncStore::dateCredentials(QList<Entry>& entries) {
  const std::optional<CredentialMarks::Marks> known = CredentialMarks::load(keychain_);
  if (!known) throw CredentialsUnreadable();
  CredentialMarks::Marks marks;
  QHash<QString, QDateTime> before;
  for (Entry& entry : entries) {
    const QString id = uuidText(entry.config.id);
    const QByteArray digest = entry.credentialsDigest();
    const auto mark = known->constFind(id);
    // Seen for the first time, or marked by a version that kept no date and moved the connection's own
    // date on with every change of its credentials: that date is when they last changed.
    const QDateTime last =
        mark != known->cend() && mark->changedAt ? *mark->changedAt : entry.config.updatedAt;
    entry.credentialsUpdatedAt = last;
    if (mark != known->cend() && mark->digest != digest) {
      before.insert(id, last);
      // Later than the date they had, also when another computer's clock ran ahead: on equal dates the
      // other computers would keep their own, old credentials.
      entry.credentialsUpdatedAt = std::max(wholeSecond(clock_.now()), last.addSecs(1));
    }
    marks.insert(id, CredentialMarks::Mark{digest, entry.credentialsUpdatedAt});
  }
  if (marks == *known) return;
  if (CredentialMarks::save(keychain_, marks)) return;
  // A date kept nowhere would move on at every collect. Left unmarked, the change is dated at the next one.
  qCWarning(lcSync) << "The keychain did not keep the credential marks.";
  for (Entry& entry : entries) {
    const auto last = before.constFind(uuidText(entry.config.id));
    if (last != before.cend()) entry.credentialsUpdatedAt = *last;
  }
}

void SyncStore::markAppliedCredentials(const QList<Entry>& entries) {
  // What a pull wrote is no change of this computer's own: marked as it is stored now, with the date it
  // came with, it dates nothing anew.
  std::optional<CredentialMarks::Marks> marks = CredentialMarks::load(keychain_);
  if (!marks) return;
  const CredentialMarks::Marks known = *marks;
  try {
    for (const Entry& entry : entries) {
      const QString id = uuidText(entry.config.id);
      const QByteArray stored = withStoredCredentials(entry.config).credentialsDigest();
      // The keychain did not take what came: the mark stays, so the old credentials keep their old date
      // and the next pull brings the newer ones again.
      const auto mark = marks->constFind(id);
      if (stored != entry.credentialsDigest() && mark != marks->cend() && mark->digest == stored) continue;
      marks->insert(id, CredentialMarks::Mark{stored, entry.credentialsDate()});
    }
  } catch (const CredentialsUnreadable&) {
    return;
  }
  if (*marks != known && !CredentialMarks::save(keychain_, *marks))
    qCWarning(lcSync) << "The keychain did not keep the credential marks.";
}

QList<SyncStore::Entry> SyncStore::applicableEntries(const Payload& payload) const {
  QList<Entry> entries;
  QSet<QUuid> seen;
  for (const Entry& entry : payload.uploaders) {
    // Each computer keeps its own own-service connection; a repeated identifier would put two
    // connections on one set of keychain items.
    if (isOwnService(entry.config)) {
      qCInfo(lcSync) << "Ignoring a synced connection of the own service's kind.";
      continue;
    }
    if (seen.contains(entry.config.id)) {
      qCWarning(lcSync) << "Ignoring a repeated synced connection" << uuidText(entry.config.id);
      continue;
    }
    seen.insert(entry.config.id);
    entries.append(entry);
  }
  return entries;
}

bool SyncStore::applyPreferences(const Payload& payload) {
  bool changed = false;
  for (auto it = payload.preferences.cbegin(); it != payload.preferences.cend(); ++it) {
    // A key this version does not sync is left alone: announcing it would wake both programs on every pull.
    if (!AppSettings::syncedPreferenceKeys().contains(it.key())) continue;
    const QDateTime local = settings_.readPreferenceChanges().value(it.key(), UploaderConfig::distantPast());
    if (it->updatedAt <= local) continue;
    settings_.applySyncedPreference(it.key(), it->value, it->updatedAt);
    changed = true;
  }
  return changed;
}

void SyncStore::applyCredentials(const Entry& entry) {
  const QUuid id = entry.config.id;
  const QString account = uuidText(id);
  saveIfChanged(
      keychain_, S3Credentials::keychainService(), account, entry.credentials,
      [](const S3Credentials& c) { return !c.accessKeyID.isEmpty() && !c.secretAccessKey.isEmpty(); },
      [&](const std::optional<S3Credentials>& c) { S3Credentials::save(keychain_, c, id); });
  saveIfChanged(
      keychain_, FTPCredentials::keychainService(), account, entry.ftp,
      [](const FTPCredentials& c) { return c.isComplete(); },
      [&](const std::optional<FTPCredentials>& c) { FTPCredentials::save(keychain_, c, id); });
  for (const auto& [provider, tokens] : {std::pair{OAuthProvider::google, &entry.google},
                                         std::pair{OAuthProvider::microsoft, &entry.microsoft}}) {
    saveIfChanged(
        keychain_, keychainService(provider), account, *tokens,
        [](const OAuthCredentials& c) { return !c.refreshToken.isEmpty(); },
        [&](const std::optional<OAuthCredentials>& c) {
          OAuthCredentials::save(keychain_, c, id, provider);
        });
  }
}

void SyncStore::applyConnections(const QList<Entry>& entries) {
  const std::optional<StoredConnections> stored = StoredConnections::load(defaults_);
  if (!stored) {
    qCWarning(lcSync) << "The stored connections cannot be read now; the synced ones are applied next time.";
    return;
  }
  QList<UploaderConfig> connections;
  for (const UploaderConfig& config : stored->configs()) {
    if (isOwnService(config)) connections.append(config);
  }
  // None stored: the agent's own one, which its settings always hold.
  if (connections.isEmpty()) {
    for (const UploaderConfig& config : settings_.uploaders()) {
      if (isOwnService(config)) connections.append(config);
    }
  }
  for (const Entry& entry : entries) connections.append(entry.config);
  if (connections != stored->configs()) settings_.setUploaders(connections);
}

}  // namespace pm
