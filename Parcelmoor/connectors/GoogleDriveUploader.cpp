#include "GoogleDriveUploader.h"

#include "platform/Log.h"

namespace pm {

GoogleDriveUploader::GoogleDriveUploader(UploaderConfig config, QNetworkAccessManager& network, QObject* parent)
    : ConnectorUploader(std::move(config), lcDrive, network, parent) {}

}  // namespace pm
