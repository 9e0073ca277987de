#pragma once

#include <QNetworkAccessManager>

#include <memory>

#include "AgentFakes.h"
#include "app/AppDelegate.h"
#include "core/ParcelmoorAPI.h"
#include "core/SharedInbox.h"
#include "core/UploaderConfig.h"
#include "core/UserNotifications.h"
#include "platform/Keychain.h"
#include "platform/Notifier.h"
#include "platform/SharedDefaults.h"
#include "support/FakeService.h"
#include "support/ScriptedUploader.h"
#include "support/TestSupport.h"

namespace pm::test {

// One agent with everything around it: a private folder tree, an in-memory suite and keychain, the fake
// service, recording fakes of the panel, sync, drives and desktop, and scripted uploaders. The delegate is
// made by make() and launched by launch(), so a test can arrange files and preferences first.
class AgentRig {
 public:
  // `signals` replaces the in-process signals (for the bus test); the rig keeps it.
  explicit AgentRig(std::unique_ptr<Signals> signals = nullptr);
  ~AgentRig();

  AppDelegate& make();
  AppDelegate& launch();
  void destroyDelegate() { delegate.reset(); }

  // Stores the connections as the settings program would.
  void storeConnections(const QList<UploaderConfig>& configs);
  // A batch file in the inbox; returns the batch.
  SharedInbox::Batch writeBatch(const QStringList& paths, std::optional<QUuid> uploaderID = std::nullopt);
  QString writeFile(const QString& name, const QByteArray& bytes = QByteArrayLiteral("payload"));
  // A live session at the fake service whose token the keychain holds.
  QString signIn();

  // The items of the open bucket, by path.
  QStringList bucketPaths() const;
  // The same followed by the paths handed to the bucket's session that wait for a worker to enter it.
  QStringList handedPaths() const;
  // The connections uploaders were made for, in order.
  QList<QUuid> uploadersMadeFor;
  QList<ScriptedUploader*> uploaders;

  Trace trace;
  TempRoot root;
  ManualClock clock{QDateTime::currentDateTimeUtc()};
  MemorySharedDefaults defaults;
  std::unique_ptr<Signals> signalsOwner;
  Signals& signals;
  RecordingSignals* recording = nullptr;  // the signals when the rig made its own
  MemoryKeychain keychain;
  FakeService service;
  QNetworkAccessManager network;
  ParcelmoorAPI api;
  SharedInbox inbox;
  MemoryNotifier notifier;
  UserNotifications notifications;
  RecordingUploadPanel panel{trace};
  RecordingWorkspace workspace;
  RecordingICloudCheck icloud{trace};
  ScriptedOAuthRedirects oauth;
  ScriptedDriveSignIns drives;
  // What make() hands the delegate: the recording fakes above unless a test points these at real pieces.
  DriveSignIns* driveSignIns = &drives;
  UploadPanelControl* panelControl = &panel;
  // Scripted uploaders unless set.
  AgentServices::MakeUploader makeUploader;
  ICloudAvailabilityCheck* icloudCheck = &icloud;
  OAuthRedirectHandler* redirects = &oauth;
  RecordingSyncCoordinator* sync = nullptr;  // owned by the delegate
  QString agentDirectory;
  std::optional<QString> settingsProgram = QStringLiteral("/opt/test/ParcelmoorSettings");
  std::chrono::milliseconds sessionTouchInterval = AgentServices::kSessionTouchInterval;
  std::unique_ptr<AppDelegate> delegate;
};

}  // namespace pm::test
