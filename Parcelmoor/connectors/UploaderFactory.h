#pragma once

#include <QString>

#include <memory>

#include "core/UploaderConfig.h"

class QNetworkAccessManager;

namespace pm {

class BucketUploader;
class DropboxSignIn;
class GoogleSignIn;
class Keychain;
class OneDriveSignIn;
class ParcelmoorAPI;
class SharedDefaults;
class Signals;

// The program-wide objects an uploader works with, built once by the program and passed down.
struct UploaderServices {
  QNetworkAccessManager& network;
  ParcelmoorAPI& api;
  Keychain& keychain;
  SharedDefaults& defaults;
  QString temporaryDirectory;  // where uploaders keep working files: UploadWorkingFolder::path()
  // Renews Google Drive tokens; none: the build's client values, Google's own hosts and the system clock.
  std::shared_ptr<const GoogleSignIn> googleSignIn = {};
  // Renews OneDrive tokens; none: the build's client identifier, Microsoft's own hosts and the system clock.
  std::shared_ptr<const OneDriveSignIn> oneDriveSignIn = {};
  // Renews Dropbox tokens; none: the build's app key, Dropbox's own hosts and the system clock.
  std::shared_ptr<const DropboxSignIn> dropboxSignIn = {};
  // Where the synced-folder connection stores (empty: ICloudUploader::standardRoot()), and where its
  // availability check posts "settingsChanged" (null: nowhere).
  QString ubiquityRoot = {};
  Signals* signals = nullptr;
};

// A custom S3 or R2 bucket takes files up to this size in one request and larger ones in parts of
// kS3PartSize; fixed here, whatever the connection holds.
inline constexpr qint64 kS3PartSize = 67'108'864;
inline constexpr qint64 kS3MultipartThreshold = 5'368'709'120;

// The uploader for one new bucket on `config`: the only place that knows which class serves which kind.
// Every call makes a fresh uploader with empty planning state. Cannot fail: a missing credential shows
// only when the uploader is used.
std::unique_ptr<BucketUploader> makeUploader(const UploaderConfig& config, const UploaderServices& services);

}  // namespace pm
