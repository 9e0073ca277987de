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

QList<UploaderConfig> configs(const SyncPayload& payload) {
  QList<UploaderConfig> list;
  list.reserve(payload.uploaders.size());
  for (const SyncEntry& entry : payload.uploaders) list.append(entry.config);
  return list;
}

QList<UploaderConfig> sortedById(QList<UploaderConfig> list) {
  std::sort(list.begin(), list.end(),
            [](const UploaderConfig& a, const UploaderConfig& b) { return uuidText(a.id) < uuidText(b.id); });
  return list;
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
      } else if (entry.config.updatedAt > kept[*found].config.updatedAt) {
        kept[*found] = entry;
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
  return merged;
}

bool hasSameContent(const SyncPayload& one, const SyncPayload& other) {
  return sortedById(configs(one)) == sortedById(configs(other)) && one.deleted == other.deleted &&
         one.preferences == other.preferences;
}

QStringList differingParts(const SyncPayload& one, const SyncPayload& other) {
  QStringList parts;
  if (configs(one) != configs(other)) parts.append(QStringLiteral("connections"));
  if (one.deleted != other.deleted) parts.append(QStringLiteral("deletions"));
  if (one.preferences != other.preferences) parts.append(QStringLiteral("preferences"));
  return parts;
}

}  // namespace pm
