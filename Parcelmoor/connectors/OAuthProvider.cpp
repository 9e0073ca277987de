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

}  // namespace pm
