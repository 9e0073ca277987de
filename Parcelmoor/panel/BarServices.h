#pragma once

namespace pm {

class Clock;
class FileViewer;
class MonotonicClock;
class QuickLookPreview;
class SharedDefaults;
class SoundPlayer;
class UserNotifications;

// What the bucket bar reaches beyond the store: the app owns each and hands them down. Anything left
// null is done without (no preview, no notification, no sound); a missing clock or file viewer falls back
// to the system's own. The wall clock ages items; the monotonic one times the bar's glides.
struct BarServices {
  const Clock* clock = nullptr;
  FileViewer* files = nullptr;
  QuickLookPreview* preview = nullptr;
  UserNotifications* notifications = nullptr;
  SharedDefaults* defaults = nullptr;
  SoundPlayer* sounds = nullptr;
  const MonotonicClock* steadyClock = nullptr;
};

}  // namespace pm
