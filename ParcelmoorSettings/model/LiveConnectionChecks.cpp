#include "LiveConnectionChecks.h"

#include "connectors/GoogleSignIn.h"
#include "connectors/OneDriveSignIn.h"
#include "model/DropboxConnection.h"
#include "model/DropboxTokenRenewal.h"
#include "model/FTPConnectionCheck.h"
#include "model/GoogleDriveConnection.h"
#include "model/OneDriveConnection.h"
#include "model/S3ConnectionCheck.h"
#include "model/ServiceProbe.h"

namespace pm::settings {

namespace {

// OneDrive's sign-in renews tokens for the agent; the check renews them the same way.
class OneDriveRenewal final : public TokenRenewal {
 public:
  explicit OneDriveRenewal(const OneDriveSignIn& signIn) : signIn_(signIn) {}
  QCoro::Task<OAuthCredentials> refreshed(OAuthCredentials credentials) const override {
    return signIn_.refreshed(std::move(credentials));
  }

 private:
  const OneDriveSignIn& signIn_;
};

}  // namespace

LiveConnectionChecks::LiveConnectionChecks(QNetworkAccessManager& network, Keychain& keychain,
                                           SharedDefaults& defaults, Signals& signals, const Clock& clock,
                                           const BundleInfo& bundle, QUrl serviceBase)
    : network_(network),
      keychain_(keychain),
      defaults_(defaults),
      signals_(signals),
      clock_(clock),
      serviceBase_(std::move(serviceBase)),
      googleSignIn_(std::make_unique<GoogleSignIn>(network, bundle, clock, nullptr)),
      oneDriveSignIn_(std::make_unique<OneDriveSignIn>(network, bundle, clock, nullptr, nullptr)),
      oneDriveRenewal_(std::make_unique<OneDriveRenewal>(*oneDriveSignIn_)),
      dropboxRenewal_(std::make_unique<DropboxTokenRenewal>(network, bundle, clock)),
      google_(std::make_unique<GoogleDriveConnection>(*googleSignIn_)),
      oneDrive_(std::make_unique<OneDriveConnection>(network, *oneDriveRenewal_)),
      dropbox_(std::make_unique<DropboxConnection>(network, *dropboxRenewal_)) {}

LiveConnectionChecks::~LiveConnectionChecks() = default;

QCoro::Task<std::optional<QString>> LiveConnectionChecks::test(UploaderConfig config) {
  switch (config.kind) {
    case UploaderConfig::Kind::parcelmoor:
      co_return co_await testParcelmoorConnection(network_, serviceBase_);
    case UploaderConfig::Kind::customS3:
    case UploaderConfig::Kind::r2:
      co_return co_await testS3Connection(std::move(config), network_, keychain_, clock_);
    case UploaderConfig::Kind::ftp:
      co_return co_await testFTPConnection(std::move(config), keychain_);
    case UploaderConfig::Kind::icloud:
      co_return co_await testICloudConnection(defaults_, signals_);
    case UploaderConfig::Kind::googleDrive:
      co_return co_await testDriveConnection(std::move(config), *google_, keychain_, clock_);
    case UploaderConfig::Kind::oneDrive:
      co_return co_await testDriveConnection(std::move(config), *oneDrive_, keychain_, clock_);
    case UploaderConfig::Kind::dropbox:
      co_return co_await testDriveConnection(std::move(config), *dropbox_, keychain_, clock_);
  }
  Q_UNREACHABLE();
  co_return std::nullopt;
}

}  // namespace pm::settings
