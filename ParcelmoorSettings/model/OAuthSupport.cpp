#include "OAuthSupport.h"

#include <QCoreApplication>

namespace pm::settings {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("OAuthFailure", text);
}

}  // namespace

QString clientIDKey(OAuthProvider provider) {
  switch (provider) {
    case OAuthProvider::google:
      return QStringLiteral("GOOGLE_CLIENT_ID");
    case OAuthProvider::microsoft:
      return QStringLiteral("MICROSOFT_CLIENT_ID");
    case OAuthProvider::dropbox:
      return QStringLiteral("DROPBOX_APP_KEY");
  }
  Q_UNREACHABLE();
  return {};
}

bool isOAuthClientConfigured(OAuthProvider provider, const BundleInfo& bundle) {
  return !infoPlistValue(bundle, clientIDKey(provider)).isEmpty();
}

QString message(const OAuthFailure& failure) {
  switch (failure.kind()) {
    case OAuthFailure::Kind::refused:
      return failure.text();
    case OAuthFailure::Kind::notConfigured:
      return translated("This build cannot connect an account: it was made without a client id.");
    case OAuthFailure::Kind::noAnswer:
      return translated("The browser never came back.");
    case OAuthFailure::Kind::badResponse:
      return translated("The answer could not be read.");
  }
  Q_UNREACHABLE();
  return {};
}

}  // namespace pm::settings
