#pragma once

#include <QString>

#include "app/ICloudAvailabilityCheck.h"
#include "connectors/ICloudUploader.h"

namespace pm {

class SharedDefaults;
class Signals;

// The availability check of the synced-folder connection, probing the same root its uploaders copy to.
class SyncedFolderCheck final : public ICloudAvailabilityCheck {
 public:
  SyncedFolderCheck(QString root, SharedDefaults& defaults, Signals& signals)
      : root_(std::move(root)), defaults_(defaults), signals_(signals) {}

  // The answer is stored and announced by the check itself; nobody here needs it.
  void checkAvailability() override { ICloudUploader::checkAvailability(root_, defaults_, &signals_); }

 private:
  const QString root_;
  SharedDefaults& defaults_;
  Signals& signals_;
};

}  // namespace pm
