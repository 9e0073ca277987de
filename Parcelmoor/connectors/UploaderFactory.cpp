#include "UploaderFactory.h"

#include "connectors/DropboxSignIn.h"
#include "connectors/DropboxUploader.h"
#include "connectors/FTPUploader.h"
#include "connectors/GoogleDriveUploader.h"
#include "connectors/GoogleSignIn.h"
#include "connectors/ICloudUploader.h"
#include "connectors/OneDriveSignIn.h"
#include "connectors/OneDriveUploader.h"
#include "platform/Clock.h"
#include "upload/CustomS3Uploader.h"
#include "upload/ParcelmoorUploader.h"

namespace pm {

namespace {

// The sign-in the program shares, or one of the build's own values that only renews tokens: it opens no
// browser and waits for no redirect.
template <typename SignIn, typename... NoBrowser>
std::shared_ptr<const SignIn> renewingSignIn(const std::shared_ptr<const SignIn>& shared,
                                             QNetworkAccessManager& network, NoBrowser... noBrowser) {
  if (shared) return shared;
  static const SystemClock clock;
  return std::make_shared<SignIn>(network, BundleInfo::compiledIn(), clock, noBrowser...);
}

}  // namespace

std::unique_ptr<BucketUploader> makeUploader(const UploaderConfig& config, const UploaderServices& services) {
  using Kind = UploaderConfig::Kind;
  switch (config.kind) {
    case Kind::parcelmoor:
      // The own service needs nothing of the connection: the account decides where files go.
      return std::make_unique<ParcelmoorUploader>(services.network, services.api);
    case Kind::customS3:
    case Kind::r2:
      return std::make_unique<CustomS3Uploader>(config, kS3PartSize, kS3MultipartThreshold, services.network,
                                                services.api, services.keychain, services.defaults);
    case Kind::ftp:
      return std::make_unique<FTPUploader>(config, services.keychain, services.network);
    case Kind::icloud:
      return std::make_unique<ICloudUploader>(config, services.ubiquityRoot, services.defaults,
                                              services.signals, services.network);
    case Kind::googleDrive:
      return std::make_unique<GoogleDriveUploader>(
          config, services.network, services.keychain,
          renewingSignIn(services.googleSignIn, services.network, nullptr));
    case Kind::oneDrive:
      return std::make_unique<OneDriveUploader>(
          config, services.network, services.keychain,
          renewingSignIn(services.oneDriveSignIn, services.network, nullptr, nullptr),
          services.temporaryDirectory);
    case Kind::dropbox:
      return std::make_unique<DropboxUploader>(config, services.network, services.keychain,
                                               renewingSignIn(services.dropboxSignIn, services.network),
                                               services.temporaryDirectory);
  }
  Q_UNREACHABLE();
  return nullptr;
}

}  // namespace pm
