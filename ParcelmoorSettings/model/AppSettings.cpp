#include "AppSettings.h"

#include <algorithm>

#include "core/Identifiers.h"
#include "core/S3Credentials.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"

namespace pm::settings {

namespace {

QString literal(const char* name) {
  return QString::fromLatin1(name);
}

}  // namespace

AppSettings::AppSettings(SharedDefaults& defaults, Signals& signals, Keychain& keychain, const Clock& clock,
                         std::chrono::seconds tombstoneLifetime, QObject* parent)
    : QObject(parent),
      defaults_(defaults),
      keychain_(keychain),
      clock_(clock),
      shared_(defaults, signals, clock, tombstoneLifetime) {
  connect(&shared_, &pm::AppSettings::uploadersChanged, this, &AppSettings::uploadersChanged);
}

void AppSettings::setUploaders(QList<UploaderConfig> uploaders) {
  shared_.setUploaders(std::move(uploaders));
}

void AppSettings::save() {
  shared_.save();
}

void AppSettings::upsert(UploaderConfig config) {
  config.updatedAt = clock_.now();
  QList<UploaderConfig> configs = uploaders();
  const auto same = std::find_if(configs.begin(), configs.end(),
                                 [&](const UploaderConfig& stored) { return stored.id == config.id; });
  if (same != configs.end()) {
    *same = std::move(config);
  } else {
    configs.append(std::move(config));
  }
  shared_.setUploaders(std::move(configs));
}

void AppSettings::remove(const UploaderConfig& config) {
  if (uploaders().size() < 2 || config.kind == UploaderConfig::Kind::parcelmoor) return;
  QList<UploaderConfig> configs = uploaders();
  configs.removeIf([&](const UploaderConfig& stored) { return stored.id == config.id; });
  shared_.setUploaders(std::move(configs));

  DatedKeys tombstones = readDeletedUploaders();
  tombstones.insert(uuidText(config.id), clock_.now());
  writeDeletedUploaders(tombstones);
  // The agent's S3 key pair would outlive its connection otherwise; a missing item is no error.
  keychain_.remove(S3Credentials::keychainService(), S3Credentials::keychainAccount(config.id));
}

void AppSettings::reloadPreferences() {
  Q_EMIT panelEdgeChanged();
  Q_EMIT uploadCompleteSoundChanged();
  Q_EMIT uploadWarningSoundChanged();
  Q_EMIT uploadFailedSoundChanged();
}

bool AppSettings::automaticUpdates() const {
  return shared_.automaticUpdates();
}

void AppSettings::setAutomaticUpdates(bool enabled) {
  setFlag(names::key::kAutomaticUpdates, enabled, &AppSettings::automaticUpdatesChanged);
}

bool AppSettings::uploadCompleteSound() const {
  return shared_.uploadCompleteSound();
}

void AppSettings::setUploadCompleteSound(bool enabled) {
  setFlag(names::key::kUploadCompleteSound, enabled, &AppSettings::uploadCompleteSoundChanged);
}

bool AppSettings::uploadWarningSound() const {
  return shared_.uploadWarningSound();
}

void AppSettings::setUploadWarningSound(bool enabled) {
  setFlag(names::key::kUploadWarningSound, enabled, &AppSettings::uploadWarningSoundChanged);
}

bool AppSettings::uploadFailedSound() const {
  return shared_.uploadFailedSound();
}

void AppSettings::setUploadFailedSound(bool enabled) {
  setFlag(names::key::kUploadFailedSound, enabled, &AppSettings::uploadFailedSoundChanged);
}

void AppSettings::setFlag(const char* key, bool enabled, void (AppSettings::*changed)()) {
  setPreference(enabled, literal(key));
  Q_EMIT(this->*changed)();
}

PanelEdge AppSettings::panelEdge() const {
  return shared_.panelEdge();
}

void AppSettings::setPanelEdge(PanelEdge edge) {
  setPreference(rawValue(edge), literal(names::key::kPanelEdge));
  Q_EMIT panelEdgeChanged();
}

NotificationAccess AppSettings::notificationAccess() const {
  const auto stored = defaults_.stringValue(literal(names::key::kNotificationAccess));
  return notificationAccessFromRawValue(stored.value_or(QString())).value_or(NotificationAccess::unknown);
}

void AppSettings::setPreference(const QVariant& value, const QString& key) {
  shared_.setPreference(value, key);
}

}  // namespace pm::settings
