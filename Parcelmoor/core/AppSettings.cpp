#include "AppSettings.h"

#include <algorithm>

#include "core/StoredConnections.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm {

namespace {

QString literal(const char* name) {
  return QString::fromLatin1(name);
}

UploaderConfig newOwnServiceConnection(const QDateTime& now) {
  UploaderConfig config(UploaderConfig::Kind::parcelmoor);
  config.updatedAt = now;
  return config;
}

bool hasOwnService(const QList<UploaderConfig>& configs) {
  return std::any_of(configs.cbegin(), configs.cend(),
                     [](const UploaderConfig& config) { return config.kind == UploaderConfig::Kind::parcelmoor; });
}

// A stored dictionary of dates; empty when it is not one or any value is not a date.
AppSettings::DatedKeys datedKeysFrom(const QVariant& stored) {
  if (stored.typeId() != QMetaType::QVariantMap) return {};
  AppSettings::DatedKeys dates;
  const QVariantMap map = stored.toMap();
  for (auto it = map.cbegin(); it != map.cend(); ++it) {
    if (it.value().typeId() != QMetaType::QDateTime) return {};
    dates.insert(it.key(), it.value().toDateTime());
  }
  return dates;
}

QVariant storedForm(const AppSettings::DatedKeys& dates) {
  QVariantMap map;
  for (auto it = dates.cbegin(); it != dates.cend(); ++it) map.insert(it.key(), it.value());
  return map;
}

}  // namespace

AppSettings::AppSettings(SharedDefaults& defaults, Signals& signals, const Clock& clock,
                         std::chrono::seconds tombstoneLifetime, QObject* parent)
    : QObject(parent),
      defaults_(defaults),
      signals_(signals),
      clock_(clock),
      tombstoneLifetime_(tombstoneLifetime) {
  if (auto stored = StoredConnections::load(defaults_)) {
    loaded_ = std::move(*stored);
    uploaders_ = loaded_.configs();
    storedListRead_ = true;
  } else {
    qCWarning(lcSettings) << "The stored connections cannot be read now; they are left as they are.";
  }
  if (!hasOwnService(uploaders_)) {
    uploaders_.prepend(newOwnServiceConnection(clock_.now()));
    if (!storedListRead_) standIn_ = uploaders_.first();
  }
  if (storedListRead_) save();
}

void AppSettings::setUploaders(QList<UploaderConfig> uploaders) {
  const bool changed = uploaders != uploaders_;
  uploaders_ = std::move(uploaders);
  const bool tookStoredList = storeUploaders();
  if (changed || tookStoredList) Q_EMIT uploadersChanged();
}

void AppSettings::save() {
  if (storeUploaders()) Q_EMIT uploadersChanged();
}

bool AppSettings::storeUploaders() {
  bool tookStoredList = false;
  bool encoded = true;
  bool readable = false;
  defaults_.update(literal(names::key::kUploaderConfigs), [&](const QVariant& current) {
    readable = true;
    const QByteArray bytes = current.typeId() == QMetaType::QByteArray ? current.toByteArray() : QByteArray();
    const StoredConnections stored = bytes == loaded_.data() ? loaded_ : StoredConnections::decode(bytes);
    if (!storedListRead_) {
      const QList<UploaderConfig> taken = withStoredConnections(stored.configs());
      tookStoredList = taken != uploaders_;
      uploaders_ = taken;
      storedListRead_ = true;
      standIn_.reset();
    }
    const auto data = stored.encode(uploaders_);
    // A list that cannot be encoded leaves the stored one alone: removing it would cost the other
    // program (and the next launch) every connection.
    encoded = data.has_value();
    return data ? QVariant(*data) : current;
  });
  if (!readable) {
    qCWarning(lcSettings) << "The connections were not saved: the stored list cannot be read now.";
    return tookStoredList;
  }
  if (!encoded) qCWarning(lcSettings) << "The connections could not be encoded; the stored list was kept.";
  signals_.postDarwinNotification(literal(names::signal::kSettingsChanged));
  return tookStoredList;
}

QList<UploaderConfig> AppSettings::withStoredConnections(const QList<UploaderConfig>& stored) const {
  QList<UploaderConfig> merged = stored;
  std::optional<UploaderConfig> standIn;
  for (const UploaderConfig& config : uploaders_) {
    const auto same = std::find_if(merged.begin(), merged.end(),
                                   [&](const UploaderConfig& kept) { return kept.id == config.id; });
    if (same != merged.end()) {
      *same = config;
    } else if (standIn_ && config.id == standIn_->id) {
      standIn = config;
    } else {
      merged.append(config);
    }
  }
  if (standIn_ && !hasOwnService(merged)) merged.prepend(standIn.value_or(*standIn_));
  return merged;
}

PanelEdge AppSettings::panelEdge() const {
  return panelEdgeFromStoredText(defaults_.stringValue(literal(names::key::kPanelEdge)));
}

void AppSettings::setPanelEdge(PanelEdge edge) {
  setPreference(rawValue(edge), literal(names::key::kPanelEdge));
  Q_EMIT panelEdgeChanged();
}

bool AppSettings::automaticUpdates() const {
  return flag(literal(names::key::kAutomaticUpdates));
}

void AppSettings::setAutomaticUpdates(bool enabled) {
  setPreference(enabled, literal(names::key::kAutomaticUpdates));
}

bool AppSettings::uploadCompleteSound() const {
  return flag(literal(names::key::kUploadCompleteSound));
}

bool AppSettings::uploadWarningSound() const {
  return flag(literal(names::key::kUploadWarningSound));
}

bool AppSettings::uploadFailedSound() const {
  return flag(literal(names::key::kUploadFailedSound));
}

bool AppSettings::flag(const QString& key) const {
  return defaults_.boolValue(key).value_or(true);
}

void AppSettings::setPreference(const QVariant& value, const QString& key) {
  defaults_.set(key, value);
  stampPreferenceChange(key);
  signals_.postDarwinNotification(literal(names::signal::kSettingsChanged));
}

void AppSettings::stampPreferenceChange(const QString& key) {
  stampPreference(key, clock_.now());
}

void AppSettings::stampPreference(const QString& key, const QDateTime& changedAt) {
  // Under the suite's lock, so a stamp written by the other program in between is not lost.
  defaults_.update(literal(names::key::kPreferenceChanges), [&](const QVariant& current) {
    DatedKeys stamps = datedKeysFrom(current);
    stamps.insert(key, changedAt);
    return storedForm(stamps);
  });
}

AppSettings::DatedKeys AppSettings::readDatedKeys(const QString& key) const {
  return datedKeysFrom(defaults_.object(key));
}

AppSettings::DatedKeys AppSettings::readPreferenceChanges() const {
  return readDatedKeys(literal(names::key::kPreferenceChanges));
}

AppSettings::DatedKeys AppSettings::readDeletedUploaders() const {
  return readDatedKeys(literal(names::key::kDeletedUploaders));
}

void AppSettings::writeDeletedUploaders(const DatedKeys& deleted) {
  const QDateTime oldestKept = clock_.now().addSecs(-tombstoneLifetime_.count());
  DatedKeys kept;
  for (auto it = deleted.cbegin(); it != deleted.cend(); ++it) {
    if (it.value() > oldestKept) kept.insert(it.key(), it.value());
  }
  // Sync writes the tombstones on every pull: an unchanged map (none stored reads as empty) is left as it is.
  if (kept == readDeletedUploaders()) return;
  defaults_.set(literal(names::key::kDeletedUploaders), storedForm(kept));
}

void AppSettings::applySyncedPreference(const QString& key, const QString& value,
                                        const QDateTime& changedAt) {
  const auto kind = syncedPreferenceKeys().constFind(key);
  if (kind == syncedPreferenceKeys().cend()) return;
  switch (*kind) {
    case PreferenceKind::flag:
      defaults_.set(key, value == QLatin1String("true"));
      break;
    case PreferenceKind::text:
      defaults_.set(key, value);
      break;
  }
  stampPreference(key, changedAt);
}

const QMap<QString, AppSettings::PreferenceKind>& AppSettings::syncedPreferenceKeys() {
  static const QMap<QString, PreferenceKind> table{
      {literal(names::key::kPanelEdge), PreferenceKind::text},
      {literal(names::key::kUploadCompleteSound), PreferenceKind::flag},
      {literal(names::key::kUploadWarningSound), PreferenceKind::flag},
      {literal(names::key::kUploadFailedSound), PreferenceKind::flag},
  };
  return table;
}

std::optional<UploaderConfig> AppSettings::firstReadyUploader() const {
  if (uploaders_.isEmpty()) return std::nullopt;
  const auto ready =
      std::find_if(uploaders_.cbegin(), uploaders_.cend(),
                   [this](const UploaderConfig& config) { return config.isConfigured(defaults_); });
  return ready != uploaders_.cend() ? *ready : uploaders_.first();
}

}  // namespace pm
