#pragma once

#include "app/SyncCoordinating.h"

namespace pm {

// What the agent runs with where its own piece is not built yet: each says so in the log and does no
// harm. They are replaced one by one as the drive sign-ins, the synced-folder check and settings sync
// arrive.

// Sync without a coordinator: nothing is pulled or pushed, and requests to change it are logged.
class DormantSyncCoordinator final : public SyncCoordinating {
  Q_OBJECT

 public:
  void startPolling() override {}
  void pull() override {}
  void schedulePush() override {}
  void enable() override;
  void disable() override {}
  void submitPendingCode() override;
  void startFlow(Flow) override;
  QCoro::Task<> offer(QString) override;
  void cancelPairing() override {}
  bool hasRunningFlow() const override { return false; }
};

}  // namespace pm
