#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

#include "sync/SyncPayload.h"

namespace pm {

class Keychain;

// What collecting last saw of each synced connection's stored credentials: a SHA-256 digest of the four
// credentials as the payload carries them, by connection identifier. A credential can change while its
// connection does not (a drive's sign-in renewed outside the editor); a digest that differs from its mark
// is how collecting notices, so that the connection is stamped and the credential reaches the computers
// that already hold the connection. Kept in the keychain beside the sync key (service
// "com.wrenfold.Parcelmoor.sync", account "credential-marks") as a JSON object of hexadecimal digests:
// even a digest of a secret is kept with the secrets.
namespace CredentialMarks {

// Connection identifier text to the hexadecimal digest.
using Marks = QMap<QString, QByteArray>;

QByteArray digest(const SyncEntry& entry);
// The stored marks, empty when none are stored or they do not decode; nothing when the keychain could
// not be read.
std::optional<Marks> load(const Keychain& keychain);
// False when the keychain did not keep them.
bool save(Keychain& keychain, const Marks& marks);

}  // namespace CredentialMarks

}  // namespace pm
