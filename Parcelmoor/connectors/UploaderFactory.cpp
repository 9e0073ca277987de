#include "UploaderFactory.h"

#include "connectors/DropboxUploader.h"
#include "connectors/FTPUploader.h"
#include "connectors/GoogleDriveUploader.h"
#include "connectors/ICloudUploader.h"
#include "connectors/OneDriveUploader.h"
#include "upload/CustomS3Uploader.h"
#include "upload/ParcelmoorUploader.h"

namespace pm {

std::unique_ptr<BucketUploader> makeUploader(const UploaderConfig& config, const UploaderServices& services) {
  using Kind = UploaderConfig::Kind;
  switch (config.kind) {
    case Kind::parcelmoor:
      // The own service needs nothing of the connection: the account decides where files go.
      return std::make_unique<ParcelmoorUploader>(services.network, services.api);
    case Kind::customS3:
    case Kind::r2:
      return std::make_unique<CustomS3Uploader>(config, kS3PartSize, kS3MultipartThreshold, services.network,
                                                services.api, services.keychain, services.defaults,
                                                services.temporaryDirectory);
    case Kind::ftp:
      return std::make_unique<FTPUploader>(config, services.network);
    case Kind::icloud:
      return std::make_unique<ICloudUploader>(config, services.network);
    case Kind::googleDrive:
      return std::make_unique<GoogleDriveUploader>(config, services.network);
    case Kind::oneDrive:
      return std::make_unique<OneDriveUploader>(config, services.network);
    case Kind::dropbox:
      return std::make_unique<DropboxUploader>(config, services.network);
  }
  Q_UNREACHABLE();
  return nullptr;
}

}  // namespace pm
