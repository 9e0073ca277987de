#include "DriveSignIns.h"

namespace pm {

std::optional<OAuthProvider> driveProvider(UploaderConfig::Kind kind) {
  switch (kind) {
    case UploaderConfig::Kind::googleDrive:
      return OAuthProvider::google;
    case UploaderConfig::Kind::oneDrive:
      return OAuthProvider::microsoft;
    case UploaderConfig::Kind::dropbox:
      return OAuthProvider::dropbox;
    default:
      return std::nullopt;
  }
}

// OneDrive's identity token already names the account; the other two are asked with the new token.
bool needsAccountLabel(OAuthProvider provider) {
  return provider != OAuthProvider::microsoft;
}

}  // namespace pm
