#pragma once

#include <QString>

#include <optional>

namespace pm {

class Keychain;

// The service session token: one item of the agent's own (service "com.wrenfold.Parcelmoor", account
// "session-token"), the access token as UTF-8. These calls never throw; a failed read looks like no token.
std::optional<QString> loadKeychainString(const Keychain& keychain, const QString& account);
// The same read, telling an item that is absent or not text (`answered`) from a keychain that did not
// answer, whose item may well be there.
struct KeychainStringLookup {
  bool answered = false;
  std::optional<QString> text;
};
KeychainStringLookup lookupKeychainString(const Keychain& keychain, const QString& account);
// Replaces the item; nothing only deletes. False when the keychain did not take the value (logged by the
// keychain), so a caller never announces a session that is not kept.
bool storeKeychainString(Keychain& keychain, const std::optional<QString>& value, const QString& account);
void deleteKeychainString(Keychain& keychain, const QString& account);

QString sessionTokenAccount();

}  // namespace pm
