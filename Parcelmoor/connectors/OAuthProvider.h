#pragma once

#include <QString>

#include <optional>

#include "core/UploaderConfig.h"

namespace pm {

// The drives that sign in with OAuth. The order is the stored order of every list of providers.
enum class OAuthProvider { google, microsoft, dropbox };

// "google", "microsoft" or "dropbox": the word of log lines and of the keychain service.
QString providerName(OAuthProvider provider);
// "com.wrenfold.Parcelmoor.google" and so on: the keychain service of a provider's connection tokens.
QString keychainService(OAuthProvider provider);
// The provider a connection kind signs in with; none for the kinds that do not use OAuth.
std::optional<OAuthProvider> oauthProvider(UploaderConfig::Kind kind);

}  // namespace pm
