#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

#include "sync/SealedEnvelope.h"
#include "sync/SyncPayload.h"

namespace pm {

class AppSettings;
class Clock;
class Keychain;
class SharedDefaults;
class Signals;

// The agent's synced settings: the connections other than the own service's (each computer keeps its own),
// their S3/R2, FTP, Google and Microsoft credentials, the tombstones of deleted connections and the synced
// preferences. Collects them from the suite and the keychain and writes a payload back. Main thread only.
class SyncStore {
 public:
  using Payload = SyncPayload;
  using Entry = SyncEntry;
  using Pref = SyncPref;

  // `settings` is the agent's live view of the suite: applying sets its connection list, so the agent
  // sees a pulled change at once. `clock` dates credentials that changed.
  SyncStore(SharedDefaults& defaults, Signals& signals, Keychain& keychain, AppSettings& settings,
            const Clock& clock);

  // The suite could not be read just now (an I/O error, no descriptor left).
  class SettingsUnreadable final : public std::runtime_error {
   public:
    SettingsUnreadable() : std::runtime_error("the stored settings cannot be read now") {}
  };

  // A credential could not be read just now (the keyring locked, or not answering).
  class CredentialsUnreadable final : public std::runtime_error {
   public:
    CredentialsUnreadable() : std::runtime_error("the stored credentials cannot be read now") {}
  };

  // What this computer holds now, every date rounded down to the whole second. Data that does not decode
  // counts as absent. Throws SettingsUnreadable when the suite cannot be read at all, and
  // CredentialsUnreadable when the keychain fails to answer for a credential: collecting "nothing stored"
  // then would be pushed as the user deleting every connection, or that credential on every computer.
  // Every entry carries the date its credentials last changed (see CredentialMarks): credentials that
  // changed since the last collect are dated now, so they win on the other computers while the connection
  // keeps its own date, and with it any newer edit made elsewhere.
  Payload localPayload();
  // Writes `payload` into the suite and the keychain, each part only where it differs from what is stored,
  // and posts "settingsChanged" when a preference or the connection list changed. Entries of the own
  // service's kind and repeated identifiers are ignored; Dropbox tokens and the credentials of connections
  // the payload no longer holds are left alone; the credentials it wrote are marked as seen, with the date
  // they came with, so the next collect does not take them for a change of this computer's. Never fails.
  void apply(const Payload& payload);

  static QByteArray seal(const Payload& payload, const QString& key) { return PMRS1::seal(payload, key); }
  static Payload open(const QByteArray& envelope, const QString& key) { return PMRS1::open(envelope, key); }

 private:
  // `config` with the credentials stored for it. Throws CredentialsUnreadable.
  Entry withStoredCredentials(UploaderConfig config) const;
  void dateCredentials(QList<Entry>& entries);
  void markAppliedCredentials(const QList<Entry>& entries);
  QList<Entry> applicableEntries(const Payload& payload) const;
  bool applyPreferences(const Payload& payload);
  void applyCredentials(const Entry& entry);
  void applyConnections(const QList<Entry>& entries);

  SharedDefaults& defaults_;
  Signals& signals_;
  Keychain& keychain_;
  AppSettings& settings_;
  const Clock& clock_;
};

}  // namespace pm
