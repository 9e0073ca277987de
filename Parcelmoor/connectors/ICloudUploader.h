#pragma once

#include <optional>

#include "connectors/ConnectorUploader.h"

namespace pm {

class SharedDefaults;

// Uploads a bucket to iCloud Drive. Until its transfers are built it keeps the base operations, so
// registration refuses with "not implemented" and nothing is ever sent.
class ICloudUploader final : public ConnectorUploader {
  Q_OBJECT

 public:
  ICloudUploader(UploaderConfig config, QNetworkAccessManager& network, QObject* parent = nullptr);

  // The problem that keeps the synced folder from being used, as the last check wrote it; nothing when it
  // is usable.
  static std::optional<QString> lastAvailabilityProblem(const SharedDefaults& defaults);
};

}  // namespace pm
