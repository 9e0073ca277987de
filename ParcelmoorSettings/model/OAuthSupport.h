#pragma once

#include <QString>

#include <optional>

#include "connectors/OAuthFailure.h"
#include "connectors/OAuthProvider.h"
#include "core/UploaderConfig.h"
#include "platform/BundleInfo.h"

namespace pm::settings {

// What the settings program needs of OAuth besides the tokens themselves (OAuthCredentials, shared with
// the agent): which build value names a provider's client, whether this build can connect it, which
// provider a drive connection signs in with, and the words for a failure.

// "GOOGLE_CLIENT_ID", "MICROSOFT_CLIENT_ID" or "DROPBOX_APP_KEY".
QString clientIDKey(OAuthProvider provider);
// Whether the build carries a non-empty client identifier for `provider` (an unexpanded "$(…)" counts as
// none).
bool isOAuthClientConfigured(OAuthProvider provider, const BundleInfo& bundle);
// The provider's own text for a refusal; a fixed, translated text for the other cases.
QString message(const OAuthFailure& failure);

}  // namespace pm::settings
