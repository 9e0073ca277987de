#include "DriveSignIns.h"

namespace pm {

QString providerWord(DriveProvider provider) {
  switch (provider) {
    case DriveProvider::google:
      return QStringLiteral("google");
    case DriveProvider::microsoft:
      return QStringLiteral("microsoft");
    case DriveProvider::dropbox:
      return QStringLiteral("dropbox");
  }
  return {};
}

std::optional<DriveProvider> driveProvider(UploaderConfig::Kind kind) {
  switch (kind) {
    case UploaderConfig::Kind::googleDrive:
      return DriveProvider::google;
    case UploaderConfig::Kind::oneDrive:
      return DriveProvider::microsoft;
    case UploaderConfig::Kind::dropbox:
      return DriveProvider::dropbox;
    default:
      return std::nullopt;
  }
}

// OneDrive's identity token already names the account; the other two are asked with the new token.
bool needsAccountLabel(DriveProvider provider) {
  return provider != DriveProvider::microsoft;
}

}  // namespace pm
