#include "OneDriveUploader.h"

#include "platform/Log.h"

namespace pm {

OneDriveUploader::OneDriveUploader(UploaderConfig config, QNetworkAccessManager& network, QObject* parent)
    : ConnectorUploader(std::move(config), lcOneDrive, network, parent) {}

}  // namespace pm
