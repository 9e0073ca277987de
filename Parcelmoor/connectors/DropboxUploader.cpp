#include "DropboxUploader.h"

#include "platform/Log.h"

namespace pm {

DropboxUploader::DropboxUploader(UploaderConfig config, QNetworkAccessManager& network, QObject* parent)
    : ConnectorUploader(std::move(config), lcDropbox, network, parent) {}

}  // namespace pm
