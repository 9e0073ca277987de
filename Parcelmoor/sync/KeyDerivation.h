#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace pm {

// PBKDF2 with HMAC-SHA256 and a 32-byte result: the stretching under pairing proofs and sealed envelopes.
// The password and salt are taken byte for byte (no trimming, no normalisation). Nothing when the
// derivation fails, which includes 0 rounds and counts beyond what the library takes; each caller turns
// that into its own error.
std::optional<QByteArray> pbkdf2SHA256(const QByteArray& password, const QByteArray& salt, quint32 rounds);

inline constexpr int kDerivedKeyBytes = 32;

}  // namespace pm
