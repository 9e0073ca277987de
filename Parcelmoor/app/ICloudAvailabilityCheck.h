#pragma once

namespace pm {

// The probe of the synced-folder connection: it stores its own answer under "icloudState" and tells the
// settings program, so callers only start it.
class ICloudAvailabilityCheck {
 public:
  virtual ~ICloudAvailabilityCheck() = default;
  virtual void checkAvailability() = 0;
};

}  // namespace pm
