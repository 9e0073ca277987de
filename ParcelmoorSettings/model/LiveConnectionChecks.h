#pragma once

#include <QUrl>

#include <memory>

#include "model/ConnectionChecks.h"
#include "model/ICloudCheck.h"
#include "platform/BundleInfo.h"

class QNetworkAccessManager;

namespace pm {
class Clock;
class GoogleSignIn;
class Keychain;
class OneDriveSignIn;
class SharedDefaults;
class Signals;
}  // namespace pm

namespace pm::settings {

class DriveAccount;
class TokenRenewal;

// The program's own tests: the service probe, the iCloud Drive check through the agent, and the S3/R2,
// FTP and drive account checks against the real services.
class LiveConnectionChecks final : public ConnectionChecks {
 public:
  LiveConnectionChecks(QNetworkAccessManager& network, Keychain& keychain, SharedDefaults& defaults,
                       Signals& signals, const Clock& clock, const BundleInfo& bundle, QUrl serviceBase);
  ~LiveConnectionChecks() override;

  QCoro::Task<std::optional<QString>> test(UploaderConfig config) override;

 private:
  QNetworkAccessManager& network_;
  Keychain& keychain_;
  SharedDefaults& defaults_;
  Signals& signals_;
  const Clock& clock_;
  const QUrl serviceBase_;
  std::unique_ptr<GoogleSignIn> googleSignIn_;
  std::unique_ptr<OneDriveSignIn> oneDriveSignIn_;
  std::unique_ptr<TokenRenewal> oneDriveRenewal_;
  std::unique_ptr<TokenRenewal> dropboxRenewal_;
  std::unique_ptr<DriveAccount> google_;
  std::unique_ptr<DriveAccount> oneDrive_;
  std::unique_ptr<DriveAccount> dropbox_;
};

}  // namespace pm::settings
