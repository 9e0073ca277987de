#pragma once

namespace pm {

class AppSettings;
class BucketStore;

// The part of the floating bucket bar that the agent's shell drives. The agent owns the one panel and
// hands it out; the panel's own behaviour (placement, tiles, sliding) lives with the panel.
class UploadPanelControl {
 public:
  virtual ~UploadPanelControl() = default;

  // Replaces the store and settings the panel shows. Both outlive the panel's use of them.
  virtual void attach(BucketStore& store, AppSettings& settings) = 0;
  // Brings the panel on screen; showing a visible panel does nothing.
  virtual void show() = 0;
  // Moves the panel when the configured screen edge changed.
  virtual void applyEdgeSetting() = 0;
};

}  // namespace pm
