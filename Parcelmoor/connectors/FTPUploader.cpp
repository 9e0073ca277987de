#include "FTPUploader.h"

#include "platform/Log.h"

namespace pm {

FTPUploader::FTPUploader(UploaderConfig config, QNetworkAccessManager& network, QObject* parent)
    : ConnectorUploader(std::move(config), lcFtp, network, parent) {}

}  // namespace pm
