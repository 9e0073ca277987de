#pragma once

#include <QString>

namespace pm {

// A new PKCE code verifier: 32 random bytes as unpadded base64url, 43 characters of A-Z, a-z, 0-9, "-"
// and "_". Each sign-in also draws its OAuth `state` from here. Throws std::runtime_error when the
// system's random source fails (a predictable verifier would be worse than no sign-in).
QString makePKCEVerifier();

// The S256 challenge of a verifier: SHA-256 of its UTF-8 bytes as unpadded base64url.
QString pkceChallenge(const QString& verifier);

}  // namespace pm
