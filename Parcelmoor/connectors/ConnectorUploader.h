#pragma once

#include <QLoggingCategory>

#include "core/UploaderConfig.h"
#include "upload/BucketUploader.h"

namespace pm {

// What every storage connector's uploader holds: its own copy of the connection (edits in the settings
// never change a running bucket) and the log category of its service.
class ConnectorUploader : public BucketUploader {
  Q_OBJECT

 public:
  using LogCategory = const QLoggingCategory& (*)();

  const UploaderConfig& config() const { return config_; }
  const QLoggingCategory& log() const { return log_(); }

 protected:
  ConnectorUploader(UploaderConfig config, LogCategory log, QNetworkAccessManager& network, QObject* parent)
      : BucketUploader(network, parent), config_(std::move(config)), log_(log) {}

 private:
  const UploaderConfig config_;
  const LogCategory log_;
};

}  // namespace pm
