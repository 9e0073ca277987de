#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>

namespace pm {

class Keychain;

// What collecting last saw of each synced connection's stored credentials: their digest as the payload
// carries them (`SyncEntry::credentialsDigest`), and when they last changed, by connection identifier. A
// credential can change while its connection does not (a drive's sign-in renewed outside the editor); a
// digest that differs from its mark is how collecting notices, so that the credentials get a later date of
// their own and reach the computers that already hold the connection. Kept in the keychain beside the sync
// key (service "com.wrenfold.Parcelmoor.sync", account "credential-marks") as a JSON object of
// {"digest": hexadecimal digest, "changedAt": ISO 8601 date}: even a digest of a secret is kept with the
// secrets.
namespace CredentialMarks {

struct Mark {
  QByteArray digest;  // hexadecimal
  // Nothing in a mark an earlier version left, which kept only the digest.
  std::optional<QDateTime> changedAt;

  bool operator==(const Mark&) const = default;
};

// By connection identifier text.
using Marks = QMap<QString, Mark>;

// The stored marks, empty when none are stored or they do not decode; a mark that is only a digest text
// (as an earlier version stored it) has no date. Nothing when the keychain could not be read.
std::optional<Marks> load(const Keychain& keychain);
// False when the keychain did not keep them.
bool save(Keychain& keychain, const Marks& marks);

}  // namespace CredentialMarks

}  // namespace pm
