#pragma once

#include <QUrl>

#include <chrono>
#include <functional>

namespace pm {
class BundleInfo;
class Keychain;
class SharedDefaults;
class Signals;
}  // namespace pm

namespace pm::settings {

class ConnectionChecks;

// How long the editor waits for the agent to store a drive account: `attempts` looks, each after
// `interval`.
struct DriveConnectTiming {
  int attempts = 300;
  std::chrono::milliseconds interval{1000};
};

// What the Apps page and the connection editor work with besides the connection list.
struct ConnectionServices {
  Keychain& keychain;
  SharedDefaults& defaults;
  Signals& signals;
  const BundleInfo& bundle;
  ConnectionChecks& checks;
  // Where "/pricing" and the help pages live.
  QUrl serviceBase;
  // Opens a web page in the user's browser.
  std::function<bool(const QUrl&)> openUrl;
  DriveConnectTiming driveConnect;
};

}  // namespace pm::settings
