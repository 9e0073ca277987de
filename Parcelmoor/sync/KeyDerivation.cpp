#include "KeyDerivation.h"

#include <climits>

#include "platform/Crypto.h"

namespace pm {

std::optional<QByteArray> pbkdf2SHA256(const QByteArray& password, const QByteArray& salt, quint32 rounds) {
  if (rounds == 0 || rounds > quint32(INT_MAX)) return std::nullopt;
  return crypto::pbkdf2Sha256(password, salt, int(rounds), kDerivedKeyBytes);
}

}  // namespace pm
