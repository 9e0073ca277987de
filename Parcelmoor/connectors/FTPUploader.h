#pragma once

#include "connectors/ConnectorUploader.h"

namespace pm {

// Uploads a bucket to an FTP or FTPS server. Until its transfers are built it keeps the base operations,
// so registration refuses with "not implemented" and nothing is ever sent.
class FTPUploader final : public ConnectorUploader {
  Q_OBJECT

 public:
  FTPUploader(UploaderConfig config, QNetworkAccessManager& network, QObject* parent = nullptr);
};

}  // namespace pm
