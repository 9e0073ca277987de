#pragma once

#include <QString>

#include <optional>

namespace pm {

class Keychain;

// The sync key both programs keep in the keychain (service "com.wrenfold.Parcelmoor.sync", account
// "sync-key"); a stored key is what "sync is on" means. Nothing when absent, unreadable or not UTF-8.
std::optional<QString> loadSyncKey(const Keychain& keychain);

}  // namespace pm
