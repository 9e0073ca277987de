#pragma once

// Recording stand-ins for the pieces the agent's shell drives but does not own. Each writes what it was
// asked into a shared trace ("panel.show", "sync.pull", ...) so tests can check the order across them.

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <optional>
#include <stdexcept>

#include "app/DriveSignIns.h"
#include "app/ICloudAvailabilityCheck.h"
#include "app/OAuthRedirectHandler.h"
#include "panel/UploadPanelControl.h"
#include "sync/SyncCoordinating.h"
#include "platform/Workspace.h"
#include "platform/Async.h"
#include "platform/Log.h"
#include "platform/Signals.h"

namespace pm::test {

using Trace = QStringList;

class RecordingUploadPanel final : public UploadPanelControl {
 public:
  explicit RecordingUploadPanel(Trace& trace) : trace_(trace) {}
  void attach(BucketStore& store, AppSettings& settings) override {
    this->store = &store;
    this->settings = &settings;
    trace_.append(QStringLiteral("panel.attach"));
  }
  void show() override {
    ++shows;
    trace_.append(QStringLiteral("panel.show"));
  }
  void applyEdgeSetting() override {
    ++edgeChecks;
    trace_.append(QStringLiteral("panel.applyEdgeSetting"));
  }

  BucketStore* store = nullptr;
  AppSettings* settings = nullptr;
  int shows = 0;
  int edgeChecks = 0;

 private:
  Trace& trace_;
};

class RecordingWorkspace final : public Workspace {
 public:
  bool openUrl(const QUrl& url) override {
    openedUrls.append(url);
    return true;
  }
  bool openApplication(const QString& program) override {
    openedPrograms.append(program);
    return true;
  }
  void activateApplication() override { ++activations; }

  QList<QUrl> openedUrls;
  QStringList openedPrograms;
  int activations = 0;
};

class RecordingSyncCoordinator final : public SyncCoordinating {
  Q_OBJECT

 public:
  explicit RecordingSyncCoordinator(Trace& trace) : trace_(trace) {}

  void startPolling() override {
    record(QStringLiteral("startPolling"));
    if (onStartPolling) onStartPolling();
  }
  void pull() override { record(QStringLiteral("pull")); }
  void schedulePush() override { record(QStringLiteral("schedulePush")); }
  void enable() override { record(QStringLiteral("enable")); }
  void disable() override { record(QStringLiteral("disable")); }
  void submitPendingCode() override { record(QStringLiteral("submitPendingCode")); }
  void startFlow(Flow flow) override {
    record(QStringLiteral("startFlow"));
    flowRunning = true;
    detachTask(runFlow(std::move(flow)), lcSync, "recorded flow");
  }
  QCoro::Task<> offer(QString key) override {
    offeredKeys.append(key);
    co_return;
  }
  void cancelPairing() override { record(QStringLiteral("cancelPairing")); }
  bool hasRunningFlow() const override { return flowRunning; }

  // Looks at the agent at the moment polling starts.
  std::function<void()> onStartPolling;
  QStringList calls;
  QStringList offeredKeys;
  bool flowRunning = false;

 private:
  static QCoro::Task<> runFlow(Flow flow) {
    QCoro::Task<> running = flow();
    co_await std::move(running);
  }
  void record(const QString& call) {
    calls.append(call);
    trace_.append(QStringLiteral("sync.") + call);
  }
  Trace& trace_;
};

class RecordingICloudCheck final : public ICloudAvailabilityCheck {
 public:
  explicit RecordingICloudCheck(Trace& trace) : trace_(trace) {}
  void checkAvailability() override {
    ++checks;
    trace_.append(QStringLiteral("icloud.check"));
  }
  int checks = 0;

 private:
  Trace& trace_;
};

// Takes exactly the URLs it was told to take, once each.
class ScriptedOAuthRedirects final : public OAuthRedirectHandler {
 public:
  bool handle(const QString& url) override {
    offered.append(url);
    return accepting.remove(url);
  }
  QSet<QString> accepting;
  QStringList offered;
};

// Sign-ins that answer as the test says, per provider; a missing answer fails.
class ScriptedDriveSignIns final : public DriveSignIns {
 public:
  struct Saved {
    OAuthCredentials credentials;
    QUuid connection;
    OAuthProvider provider;
    bool operator==(const Saved&) const = default;
  };

  QCoro::Task<OAuthCredentials> signIn(OAuthProvider provider) override {
    signIns.append(provider);
    co_await sleepFor(std::chrono::milliseconds(0));
    if (!credentials.contains(provider)) throw std::runtime_error("the browser sign-in was refused");
    co_return credentials.value(provider);
  }
  QCoro::Task<QString> fetchAccountLabel(OAuthProvider provider, QString accessToken) override {
    labelLookups.append({provider, accessToken});
    co_await sleepFor(std::chrono::milliseconds(0));
    if (!labels.contains(provider)) throw std::runtime_error("the account label could not be read");
    co_return labels.value(provider);
  }
  bool save(const OAuthCredentials& value, const QUuid& connection, OAuthProvider provider) override {
    saved.append({value, connection, provider});
    return true;
  }

  QHash<OAuthProvider, OAuthCredentials> credentials;
  QHash<OAuthProvider, QString> labels;
  QList<OAuthProvider> signIns;
  QList<std::pair<OAuthProvider, QString>> labelLookups;
  QList<Saved> saved;
};

// Signals within the process, delivered from the event loop like the bus does, that also record which
// names were subscribed (in order) and posted.
class RecordingSignals final : public Signals {
  Q_OBJECT

 public:
  void postDarwinNotification(const QString& name) override {
    posted.append(name);
    QMetaObject::invokeMethod(
        this, [this, name] { deliver(name); }, Qt::QueuedConnection);
  }
  QStringList subscribed;
  QStringList posted;

 protected:
  void subscribe(const QString& name) override { subscribed.append(name); }
};

}  // namespace pm::test
