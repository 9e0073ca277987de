#include "ICloudUploader.h"

#include "core/ICloudAvailability.h"
#include "platform/Log.h"

namespace pm {

ICloudUploader::ICloudUploader(UploaderConfig config, QNetworkAccessManager& network, QObject* parent)
    : ConnectorUploader(std::move(config), lcICloud, network, parent) {}

std::optional<QString> ICloudUploader::lastAvailabilityProblem(const SharedDefaults& defaults) {
  return iCloudLastAvailabilityProblem(defaults);
}

}  // namespace pm
