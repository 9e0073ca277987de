#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "core/UploaderConfig.h"
#include "platform/Paths.h"

namespace pm {

class BucketUploader;
class Clock;
class DriveSignIns;
class ICloudAvailabilityCheck;
class Keychain;
class OAuthRedirectHandler;
class AppSettings;
class ParcelmoorAPI;
class SharedDefaults;
class SharedInbox;
class Signals;
class SyncCoordinating;
class UploadPanelControl;
class UserNotifications;
class Workspace;

// Everything the agent's delegate is given rather than builds: the platform layers, the service client,
// the panel and the connectors' entry points. The program's main() makes them (tests make fakes) and
// keeps every one alive longer than the delegate.
struct AgentServices {
  using MakeUploader = std::function<std::unique_ptr<BucketUploader>(const UploaderConfig& config)>;
  // Called once the delegate holds its settings, which sync applies pulled connections to.
  using MakeSync = std::function<std::unique_ptr<SyncCoordinating>(AppSettings& settings)>;

  static constexpr std::chrono::milliseconds kSessionTouchInterval = std::chrono::hours(24);

  SharedDefaults& defaults;
  Signals& signals;
  Keychain& keychain;
  const Clock& clock;
  Paths paths;
  ParcelmoorAPI& api;
  SharedInbox& inbox;
  UserNotifications& notifications;
  UploadPanelControl& panel;
  DriveSignIns& drives;
  ICloudAvailabilityCheck& icloud;
  OAuthRedirectHandler& oauth;
  Workspace& workspace;
  MakeUploader makeUploader;
  MakeSync makeSync;
  // The folder of the agent's executable: the settings program is looked for from here.
  QString agentDirectory;
  // A settings program to start instead of the one found beside the agent.
  std::optional<QString> settingsProgram;
  std::chrono::milliseconds sessionTouchInterval = kSessionTouchInterval;
};

}  // namespace pm
