#pragma once

#include <QNetworkAccessManager>

#include <memory>

#include "SyncTestDoubles.h"
#include "SyncWaits.h"
#include "core/AppSettings.h"
#include "core/ParcelmoorAPI.h"
#include "core/S3Credentials.h"
#include "core/SessionToken.h"
#include "platform/Clock.h"
#include "platform/Signals.h"
#include "support/FakeService.h"
#include "support/ServiceHarness.h"
#include "sync/SyncCoordinator.h"
#include "sync/SyncKey.h"
#include "sync/SyncPairing.h"
#include "sync/SyncService.h"
#include "sync/SyncState.h"
#include "sync/SyncStore.h"

namespace pm::test {

// One computer of the user's: its own suite, keychain (with a session of the shared account) and service
// client, its sync store, service copy and pairing, and a coordinator with shrunk timings.
struct SyncMachine {
  static SyncCoordinator::Timings fastTimings() {
    SyncCoordinator::Timings timings;
    timings.pollInterval = std::chrono::seconds(60);
    timings.pushDelay = std::chrono::milliseconds(150);
    timings.quietTime = std::chrono::seconds(3);
    timings.pairingPoll = std::chrono::milliseconds(20);
    timings.pairingDeadline = std::chrono::seconds(10);
    return timings;
  }

  // `unreachable`: the client aims at a port where nothing listens.
  SyncMachine(FakeService& service, const QString& sessionToken, const Clock& clock,
              SyncCoordinator::Timings timings = fastTimings(), bool unreachable = false)
      : clock(clock),
        settings(defaults, signals, clock),
        api(network, keychain, optionsFor(service, unreachable)),
        store(defaults, signals, keychain, settings, clock),
        syncService(store, api),
        pairing(api),
        coordinator(defaults, signals, keychain, settings, api, clock, timings) {
    storeKeychainString(keychain, sessionToken, sessionTokenAccount());
    signals.clearPosted();
  }
  // Every flow, pull and push the coordinator started ends before the keychain, suite and client they use
  // go away, also after a failed assertion left one running.
  ~SyncMachine() {
    coordinator.cancelAll();
    eventually([this] { return coordinator.isIdle(); });
  }
  SyncMachine(const SyncMachine&) = delete;
  SyncMachine& operator=(const SyncMachine&) = delete;

  static ParcelmoorAPI::Options optionsFor(const FakeService& service, bool unreachable) {
    ParcelmoorAPI::Options options = ServiceHarness::optionsFor(service);
    if (unreachable) options.baseUrl = QUrl(QStringLiteral("http://127.0.0.1:1"));
    return options;
  }

  // Adds a connection the way the settings program does: stamped now, credentials in the keychain.
  UploaderConfig addS3(const QString& name, const std::optional<S3Credentials>& credentials = std::nullopt) {
    UploaderConfig config(UploaderConfig::Kind::customS3);
    config.name = name;
    config.endpoint = QStringLiteral("https://s3.example.com");
    config.bucketName = QStringLiteral("drop");
    config.updatedAt = clock.now();
    if (credentials) S3Credentials::save(keychain, credentials, config.id);
    QList<UploaderConfig> list = settings.uploaders();
    list.append(config);
    settings.setUploaders(list);
    return config;
  }
  QStringList names() const {
    QStringList list;
    for (const UploaderConfig& config : UploaderConfig::loadAll(defaults)) {
      if (config.kind != UploaderConfig::Kind::parcelmoor) list.append(config.name);
    }
    return list;
  }
  SyncState state() const { return SyncState::load(defaults); }
  std::optional<QString> syncKey() const { return loadSyncKey(keychain); }

  const Clock& clock;
  RecordingDefaults defaults;
  LocalSignals signals;
  RecordingKeychain keychain;
  AppSettings settings;
  QNetworkAccessManager network;
  ParcelmoorAPI api;
  SyncStore store;
  SyncService syncService;
  SyncPairing pairing;
  SyncCoordinator coordinator;
};

}  // namespace pm::test
