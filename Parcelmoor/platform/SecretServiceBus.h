#pragma once

#include <QString>

#include <optional>

#include "Keychain.h"

namespace pm {

// Reads a generic password item straight from the Secret Service over the session bus: four short calls
// on a connection the program already has, where libsecret first loads GIO and negotiates an encrypted
// session. It answers only what it can answer for sure, an unlocked item or none at all; anything else (no
// service, a locked item, a refusal, an answer it does not understand) is nothing, for the caller to ask
// libsecret, which can unlock and says why a call failed.
//
// The secret travels in a "plain" session: the bus delivers the reply to this process alone, which holds
// the secret in its memory either way.
//
// The item whose "service" and "account" attributes are these, found or not found; nothing when only
// libsecret can tell. Callable from any thread.
std::optional<Keychain::Lookup> findOnSecretServiceBus(const QString& service, const QString& account);

}  // namespace pm
