#include "OAuthProvider.h"

#include "platform/SharedNames.h"

namespace pm {

QString providerName(OAuthProvider provider) {
  switch (provider) {
    case OAuthProvider::google:
      return QStringLiteral("google");
    case OAuthProvider::microsoft:
      return QStringLiteral("microsoft");
    case OAuthProvider::dropbox:
      return QStringLiteral("dropbox");
  }
  Q_UNREACHABLE();
  return {};
}

QString keychainService(OAuthProvider provider) {
  return QString::fromLatin1(names::kBundleIdentifier) + QLatin1Char('.') + providerName(provider);
}

std::optional<OAuthProvider> oauthProvider(UploaderConfig::Kind kind) {
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

}  // namespace pm
