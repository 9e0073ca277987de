#pragma once

#include "app/DriveSignIns.h"
#include "app/ICloudAvailabilityCheck.h"
#include "app/OAuthRedirectHandler.h"
#include "app/SyncCoordinating.h"

namespace pm {

// What the agent runs with where its own piece is not built yet: each says so in the log and does no
// harm. They are replaced one by one as the drive sign-ins, the synced-folder check and settings sync
// arrive.

class UnavailableDriveSignIns final : public DriveSignIns {
 public:
  QCoro::Task<DriveCredentials> signIn(DriveProvider provider) override;
  QCoro::Task<QString> fetchAccountLabel(DriveProvider provider, QString accessToken) override;
  bool save(const DriveCredentials& credentials, const QUuid& connection, DriveProvider provider) override;
};

// Accepts no URL: no drive sign-in ever waits for a redirect yet.
class NoOAuthRedirects final : public OAuthRedirectHandler {
 public:
  bool handle(const QUrl&) override { return false; }
};

// Leaves the synced-folder state as "not checked yet", which keeps such connections unusable.
class UncheckedICloud final : public ICloudAvailabilityCheck {
 public:
  void checkAvailability() override {}
};

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
