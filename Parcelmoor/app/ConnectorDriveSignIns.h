#pragma once

#include <memory>

#include "app/DriveSignIns.h"

namespace pm {

class DropboxSignIn;
class GoogleSignIn;
class Keychain;
class OneDriveSignIn;

// The agent's drive sign-ins over the connectors: each provider's browser sign-in and account label, and
// the connection's keychain item. A provider whose sign-in this build lacks fails with a clear
// "not available yet" error, so the settings program reloads and finds no tokens. Adding a provider is
// its sign-in object here plus one case in each switch. Main thread only.
class ConnectorDriveSignIns final : public DriveSignIns {
 public:
  // The sign-ins also serve their uploaders' token renewal, so they are shared. A provider given no
  // sign-in here is one this build cannot connect.
  ConnectorDriveSignIns(Keychain& keychain, std::shared_ptr<const GoogleSignIn> google,
                        std::shared_ptr<const OneDriveSignIn> oneDrive = {},
                        std::shared_ptr<const DropboxSignIn> dropbox = {});
  ~ConnectorDriveSignIns() override;

  QCoro::Task<OAuthCredentials> signIn(OAuthProvider provider) override;
  QCoro::Task<QString> fetchAccountLabel(OAuthProvider provider, QString accessToken) override;
  bool save(const OAuthCredentials& credentials, const QUuid& connection, OAuthProvider provider) override;

 private:
  Keychain& keychain_;
  const std::shared_ptr<const GoogleSignIn> google_;
  const std::shared_ptr<const OneDriveSignIn> oneDrive_;
  const std::shared_ptr<const DropboxSignIn> dropbox_;
};

}  // namespace pm
