#pragma once

#include <QString>

#include <optional>

namespace pm {

class Keychain;

// The sync key: the one secret of settings sync, the same text on every computer that syncs. Kept as one
// keychain item (service "com.wrenfold.Parcelmoor.sync", account "sync-key") holding the key's UTF-8 text
// exactly as given; both programs read and write it, and a stored key is what "sync is on" means.

inline constexpr int kSyncKeyLength = 20;

// The stored text; nothing when absent, unreadable or not valid UTF-8.
std::optional<QString> loadSyncKey(const Keychain& keychain);
// Removes the stored key, then stores `key` unless it is absent or empty. True unless storing failed, in
// which case no key is stored any more.
bool saveSyncKey(Keychain& keychain, const std::optional<QString>& key);
// Removes the stored key; an absent item is no failure, and a failed removal is only logged.
void deleteSyncKey(Keychain& keychain);
// A new key of 20 characters of the sync alphabet. Throws crypto::RandomSourceFailure when the random
// source fails.
QString makeSyncKey();

}  // namespace pm
