#pragma once

#include "connectors/ConnectorUploader.h"

namespace pm {

// Uploads a bucket to Google Drive. Until its transfers are built it keeps the base operations, so
// registration refuses with "not implemented" and nothing is ever sent.
class GoogleDriveUploader final : public ConnectorUploader {
  Q_OBJECT

 public:
  GoogleDriveUploader(UploaderConfig config, QNetworkAccessManager& network, QObject* parent = nullptr);
};

}  // namespace pm
