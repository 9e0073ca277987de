#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

#include <chrono>
#include <optional>

#include "core/PanelEdge.h"
#include "core/StoredConnections.h"
#include "core/UploaderConfig.h"

namespace pm {

class Clock;
class SharedDefaults;
class Signals;

// The agent's live view of the connections and preferences both programs share through the suite. It
// keeps the connection list in memory and writes it back on every assignment; every other preference is
// read from and written to the suite on each access. Main thread only.
class AppSettings final : public QObject {
  Q_OBJECT

 public:
  enum class PreferenceKind { flag, text };
  // Preference key, or connection identifier text, to the date of its last change or deletion.
  using DatedKeys = QMap<QString, QDateTime>;

  static constexpr std::chrono::seconds kTombstoneLifetime{31'536'000};  // 365 days

  // Loads the connections, puts an own-service connection first when there is none, and saves: the stored
  // list is normalised and "settingsChanged" posted whatever was stored before. Elements this version
  // cannot decode stay stored as they were. When the suite cannot be read just now, the list in memory is
  // only the new own-service connection and nothing is written: the stored list is not this program's to
  // replace before it has been read (see save()).
  AppSettings(SharedDefaults& defaults, Signals& signals, const Clock& clock,
              std::chrono::seconds tombstoneLifetime = kTombstoneLifetime, QObject* parent = nullptr);

  const QList<UploaderConfig>& uploaders() const { return uploaders_; }
  // Always saves and posts "settingsChanged"; uploadersChanged() only when the list differs.
  void setUploaders(QList<UploaderConfig> uploaders);
  // Stores the list under "uploaderConfigs", then posts "settingsChanged". Undecodable stored elements are
  // kept in place. While the stored list has never been read, it is read first: when that still fails,
  // nothing is written (and nothing posted); when it succeeds, the stored connections are taken into the
  // list (those changed in memory meanwhile win, the stand-in own-service connection is dropped when one
  // is stored), and uploadersChanged() is emitted.
  void save();

  PanelEdge panelEdge() const;
  // Writes through the preference writer and notifies observers, even for the current edge.
  void setPanelEdge(PanelEdge edge);

  bool automaticUpdates() const;
  void setAutomaticUpdates(bool enabled);
  bool uploadCompleteSound() const;
  bool uploadWarningSound() const;
  bool uploadFailedSound() const;

  // A Boolean preference: the stored Boolean, or true when absent or of any other type.
  bool flag(const QString& key) const;
  // Stores `value` under `key`, stamps the key with now and posts "settingsChanged".
  void setPreference(const QVariant& value, const QString& key);

  // Both read as empty when any value is not a date; the next write then replaces the whole dictionary.
  DatedKeys readPreferenceChanges() const;
  DatedKeys readDeletedUploaders() const;
  // Keeps the tombstones younger than the lifetime (one exactly at the limit goes); writes only when that
  // differs from what is stored. Posts nothing.
  void writeDeletedUploaders(const DatedKeys& deleted);

  // Stores a value that settings sync received and stamps it with `changedAt`. Keys that sync does not
  // carry are ignored; a flag is true only for the exact text "true". Posts nothing: sync signals once
  // per batch.
  void applySyncedPreference(const QString& key, const QString& value, const QDateTime& changedAt);
  static const QMap<QString, PreferenceKind>& syncedPreferenceKeys();

  // The first connection ready to upload, else the first connection; nothing only for an empty list.
  std::optional<UploaderConfig> firstReadyUploader() const;

 Q_SIGNALS:
  void uploadersChanged();
  void panelEdgeChanged();

 private:
  // The write of save(); true when it took in the stored list for the first time.
  bool storeUploaders();
  QList<UploaderConfig> withStoredConnections(const QList<UploaderConfig>& stored) const;
  void stampPreferenceChange(const QString& key);
  void stampPreference(const QString& key, const QDateTime& changedAt);
  DatedKeys readDatedKeys(const QString& key) const;

  SharedDefaults& defaults_;
  Signals& signals_;
  const Clock& clock_;
  const std::chrono::seconds tombstoneLifetime_;
  QList<UploaderConfig> uploaders_;
  // False until the stored list has been read; meanwhile `standIn_` is the own-service connection made
  // so the agent has one.
  bool storedListRead_ = false;
  // The list as loaded: while the suite still holds these bytes, saving anchors the undecodable elements
  // by the identifiers given at loading (an element stored without one gets a new one at every decoding).
  StoredConnections loaded_;
  std::optional<UploaderConfig> standIn_;
};

}  // namespace pm
