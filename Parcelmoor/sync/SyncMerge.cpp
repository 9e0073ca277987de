#include "SyncMerge.h"

#include <QHash>

#include <algorithm>

#include "core/Identifiers.h"

namespace pm {

namespace {

// Takes each of `other`'s values whose date is strictly later than the one `merged` holds for its key.
template <typename Value, typename DateOf>
void takeLater(QMap<QString, Value>& merged, const QMap<QString, Value>& other, DateOf dateOf) {
  for (auto it = other.cbegin(); it != other.cend(); ++it) {
    const auto held = merged.constFind(it.key());
    if (held == merged.cend() || dateOf(*it) > dateOf(*held)) merged.insert(it.key(), *it);
  }
}

// The later edit of the connection and the later change of its credentials are taken each on its own
// date: a sign-in renewed on one computer neither undoes an edit made on another nor is undone by it.
void takeLater(SyncEntry& kept, const SyncEntry& entry) {
  // Dated before the connection may change under it: in an entry without a credential date, the
  // connection's own date is theirs.
  kept.credentialsUpdatedAt = kept.credentialsDate();
  if (entry.config.updatedAt > kept.config.updatedAt) kept.config = entry.config;
  if (entry.credentialsDate() > *kept.credentialsUpdatedAt) {
    kept.credentials = entry.credentials;
    kept.ftp = entry.ftp;
    kept.google = entry.google;
    kept.microsoft = entry.microsoft;
    kept.credentialsUpdatedAt = entry.credentialsDate();
  }
}

// A connection as the merge weighs it: its record and the date of its credentials, not the credentials.
struct Weighed {
  UploaderConfig config;
  QDateTime credentialsDate;

  bool operator==(const Weighed&) const = default;
};

QList<Weighed> weighed(const SyncPayload& payload) {
  QList<Weighed> list;
  list.reserve(payload.uploaders.size());
  for (const SyncEntry& entry : payload.uploaders)
    list.append(Weighed{entry.config, entry.credentialsDate()});
  return list;
}

QList<Weighed> sortedById(QList<Weighed> list) {
  std::sort(list.begin(), list.end(),
            [](const Weighed& a, const Weighed& b) { return uuidText(a.config.id) < uuidText(b.config.id); });
  return list;
}

// `readable` as a stored payload holds it: a key that the payload also holds unread is stored unread.
template <typename Value>
QMap<QString, Value> asStored(QMap<QString, Value> readable, const QMap<QString, QJsonValue>& unread) {
  for (auto it = unread.cbegin(); it != unread.cend(); ++it) readable.remove(it.key());
  return readable;
}

bool sameConnections(const SyncPayload& one, const SyncPayload& other, bool inOrder) {
  const bool readable =
      inOrder ? weighed(one) == weighed(other) : sortedById(weighed(one)) == sortedById(weighed(other));
  return readable && one.unread.uploaders == other.unread.uploaders;
}

bool sameDeletions(const SyncPayload& one, const SyncPayload& other) {
  return asStored(one.deleted, one.unread.deleted) == asStored(other.deleted, other.unread.deleted) &&
         one.unread.deleted == other.unread.deleted;
}

bool samePreferences(const SyncPayload& one, const SyncPayload& other) {
  return asStored(one.preferences, one.unread.preferences) ==
             asStored(other.preferences, other.unread.preferences) &&
         one.unread.preferences == other.unread.preferences;
}

// Neither side's unread elements can be weighed: the merge keeps every one of them, this computer's first
// where both hold one under the same key.
SyncUnread mergedUnread(const SyncUnread& local, const SyncUnread& other) {
  SyncUnread merged = local;
  for (const QJsonValue& element : other.uploaders) {
    if (!merged.uploaders.contains(element)) merged.uploaders.append(element);
  }
  for (auto it = other.deleted.cbegin(); it != other.deleted.cend(); ++it) {
    if (!merged.deleted.contains(it.key())) merged.deleted.insert(it.key(), *it);
  }
  for (auto it = other.preferences.cbegin(); it != other.preferences.cend(); ++it) {
    if (!merged.preferences.contains(it.key())) merged.preferences.insert(it.key(), *it);
  }
  for (auto it = other.others.begin(); it != other.others.end(); ++it) {
    if (!merged.others.contains(it.key())) merged.others.insert(it.key(), *it);
  }
  return merged;
}

}  // namespace

SyncPayload merge(const SyncPayload& local, const SyncPayload& other) {
  SyncPayload merged;
  merged.deleted = local.deleted;
  takeLater(merged.deleted, other.deleted, [](const QDateTime& date) { return date; });
  merged.preferences = local.preferences;
  takeLater(merged.preferences, other.preferences, [](const SyncPref& pref) { return pref.updatedAt; });

  QList<SyncEntry> kept;
  QHash<QString, qsizetype> indexById;
  for (const QList<SyncEntry>* side : {&local.uploaders, &other.uploaders}) {
    for (const SyncEntry& entry : *side) {
      const QString id = uuidText(entry.config.id);
      const auto found = indexById.constFind(id);
      if (found == indexById.cend()) {
        indexById.insert(id, kept.size());
        kept.append(entry);
        kept.last().credentialsUpdatedAt = entry.credentialsDate();
      } else {
        takeLater(kept[*found], entry);
      }
    }
  }

  for (const SyncEntry& entry : std::as_const(kept)) {
    const auto tombstone = merged.deleted.constFind(uuidText(entry.config.id));
    if (tombstone != merged.deleted.cend() && entry.config.updatedAt <= *tombstone) continue;
    merged.uploaders.append(entry);
  }
  std::stable_sort(
      merged.uploaders.begin(), merged.uploaders.end(),
      [](const SyncEntry& a, const SyncEntry& b) { return a.config.updatedAt < b.config.updatedAt; });
  merged.unread = mergedUnread(local.unread, other.unread);
  return merged;
}

bool hasSameContent(const SyncPayload& one, const SyncPayload& other) {
  return sameConnections(one, other, false) && sameDeletions(one, other) && samePreferences(one, other) &&
         one.unread.others == other.unread.others;
}

QStringList differingParts(const SyncPayload& one, const SyncPayload& other) {
  QStringList parts;
  if (!sameConnections(one, other, true)) parts.append(QStringLiteral("connections"));
  if (!sameDeletions(one, other)) parts.append(QStringLiteral("deletions"));
  if (!samePreferences(one, other)) parts.append(QStringLiteral("preferences"));
  return parts;
}

}  // namespace pm
