#pragma once

#include "connectors/ConnectorUploader.h"

namespace pm {

// Uploads a bucket to OneDrive. Until its transfers are built it keeps the base operations, so
// registration refuses with "not implemented" and nothing is ever sent.
class OneDriveUploader final : public ConnectorUploader {
  Q_OBJECT

 public:
  OneDriveUploader(UploaderConfig config, QNetworkAccessManager& network, QObject* parent = nullptr);
};

}  // namespace pm
