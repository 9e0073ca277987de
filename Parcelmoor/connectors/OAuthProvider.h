#pragma once

#include <QString>

namespace pm {

// The drives that sign in with OAuth. The order is the stored order of every list of providers.
enum class OAuthProvider { google, microsoft, dropbox };

// "google", "microsoft" or "dropbox": the word of log lines and of the keychain service.
QString providerName(OAuthProvider provider);
// "com.wrenfold.Parcelmoor.google" and so on: the keychain service of a provider's connection tokens.
QString keychainService(OAuthProvider provider);

}  // namespace pm
