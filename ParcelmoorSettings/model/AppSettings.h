#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <chrono>

#include "core/AppSettings.h"
#include "core/PanelEdge.h"
#include "core/UploaderConfig.h"
#include "model/NotificationAccess.h"

namespace pm {
class Clock;
class Keychain;
class SharedDefaults;
class Signals;
}  // namespace pm

namespace pm::settings {

// What the settings program edits: the connections (held here and written back whole after every change)
// and the preferences the agent obeys (read from the suite at every access, written straight back with a
// change stamp for settings sync). Every write posts "settingsChanged". The storing itself is the shared
// model's, so both programs write the suite alike. Main thread only.
class AppSettings final : public QObject {
  Q_OBJECT
  Q_PROPERTY(
      bool automaticUpdates READ automaticUpdates WRITE setAutomaticUpdates NOTIFY automaticUpdatesChanged)
  Q_PROPERTY(bool uploadCompleteSound READ uploadCompleteSound WRITE setUploadCompleteSound NOTIFY
                 uploadCompleteSoundChanged)
  Q_PROPERTY(bool uploadWarningSound READ uploadWarningSound WRITE setUploadWarningSound NOTIFY
                 uploadWarningSoundChanged)
  Q_PROPERTY(bool uploadFailedSound READ uploadFailedSound WRITE setUploadFailedSound NOTIFY
                 uploadFailedSoundChanged)

 public:
  using DatedKeys = pm::AppSettings::DatedKeys;

  // Loads the connections, puts a new own-service connection first when there is none, and saves: every
  // start writes "uploaderConfigs" once and posts "settingsChanged", also when nothing changed.
  AppSettings(SharedDefaults& defaults, Signals& signals, Keychain& keychain, const Clock& clock,
              std::chrono::seconds tombstoneLifetime = pm::AppSettings::kTombstoneLifetime,
              QObject* parent = nullptr);

  const QList<UploaderConfig>& uploaders() const { return shared_.uploaders(); }
  // Always saves and posts; uploadersChanged() only when the list differs.
  void setUploaders(QList<UploaderConfig> uploaders);
  // Stamps `config` with now and replaces the stored connection of its id, or appends it.
  void upsert(UploaderConfig config);
  // Deletes the connection, leaves a tombstone for settings sync and deletes its S3 key pair (whatever its
  // kind; its FTP login and OAuth tokens stay). Refuses silently, writing and posting nothing, while
  // fewer than two connections are stored and for the own-service connection.
  void remove(const UploaderConfig& config);
  // Writes the connection list and posts "settingsChanged".
  void save();

  // Tells the views to read the panel edge and the sounds again; writes nothing.
  void reloadPreferences();

  // A Boolean preference reads as true unless a Boolean is stored.
  bool automaticUpdates() const;
  void setAutomaticUpdates(bool enabled);
  bool uploadCompleteSound() const;
  void setUploadCompleteSound(bool enabled);
  bool uploadWarningSound() const;
  void setUploadWarningSound(bool enabled);
  bool uploadFailedSound() const;
  void setUploadFailedSound(bool enabled);
  // "top" and "right" name their edges; anything else reads as left.
  PanelEdge panelEdge() const;
  void setPanelEdge(PanelEdge edge);
  // The agent's; any text that is not exactly a raw value reads as unknown.
  NotificationAccess notificationAccess() const;

  // The one writer of preferences: stores the value, stamps only `key` in "preferenceChanges", posts once.
  void setPreference(const QVariant& value, const QString& key);

  DatedKeys readDeletedUploaders() const { return shared_.readDeletedUploaders(); }
  // Keeps the tombstones younger than the lifetime (one exactly at the limit goes). Posts nothing.
  void writeDeletedUploaders(const DatedKeys& deleted) { shared_.writeDeletedUploaders(deleted); }

 Q_SIGNALS:
  void uploadersChanged();
  void automaticUpdatesChanged();
  void uploadCompleteSoundChanged();
  void uploadWarningSoundChanged();
  void uploadFailedSoundChanged();
  void panelEdgeChanged();

 private:
  void setFlag(const char* key, bool enabled, void (AppSettings::*changed)());

  SharedDefaults& defaults_;
  Keychain& keychain_;
  const Clock& clock_;
  pm::AppSettings shared_;
};

}  // namespace pm::settings
