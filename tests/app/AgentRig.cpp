#include "AgentRig.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "core/Bucket.h"
#include "core/SessionToken.h"
#include "platform/SharedNames.h"
#include "upload/BucketStore.h"
#include "upload/UploadSession.h"

namespace pm::test {

namespace {
ParcelmoorAPI::Options serviceOptions(const FakeService& service) {
  ParcelmoorAPI::Options options;
  options.baseUrl = service.baseUrl();
  options.preferredLanguages = {QStringLiteral("en-GB")};
  return options;
}

std::unique_ptr<Signals> orRecording(std::unique_ptr<Signals> given) {
  if (given) return given;
  return std::make_unique<RecordingSignals>();
}
}  // namespace

AgentRig::AgentRig(std::unique_ptr<Signals> givenSignals)
    : signalsOwner(orRecording(std::move(givenSignals))),
      signals(*signalsOwner),
      recording(qobject_cast<RecordingSignals*>(signalsOwner.get())),
      api(network, keychain, serviceOptions(service)),
      inbox(root.paths(), defaults, clock),
      notifications(defaults, signals, notifier),
      agentDirectory(root.file(QStringLiteral("bin"))) {
  QDir().mkpath(agentDirectory);
}

AgentRig::~AgentRig() {
  delegate.reset();
}

AppDelegate& AgentRig::make() {
  AgentServices services{
      defaults,
      signals,
      keychain,
      clock,
      root.paths(),
      api,
      inbox,
      notifications,
      *panelControl,
      *driveSignIns,
      *icloudCheck,
      *redirects,
      workspace,
      [this](const UploaderConfig& config) -> std::unique_ptr<BucketUploader> {
        if (makeUploader) return makeUploader(config);
        auto uploader = std::make_unique<ScriptedUploader>(network);
        uploadersMadeFor.append(config.id);
        uploaders.append(uploader.get());
        return uploader;
      },
      [this](AppSettings&) {
        auto made = std::make_unique<RecordingSyncCoordinator>(trace);
        sync = made.get();
        return made;
      },
      agentDirectory,
      settingsProgram,
      sessionTouchInterval,
  };
  delegate = std::make_unique<AppDelegate>(std::move(services));
  return *delegate;
}

AppDelegate& AgentRig::launch() {
  if (!delegate) make();
  delegate->finishLaunching();
  return *delegate;
}

void AgentRig::storeConnections(const QList<UploaderConfig>& configs) {
  defaults.set(QString::fromLatin1(names::key::kUploaderConfigs), *UploaderConfig::encodeList(configs));
}

SharedInbox::Batch AgentRig::writeBatch(const QStringList& paths, std::optional<QUuid> uploaderID) {
  SharedInbox::Batch batch{QUuid::createUuid(), uploaderID, paths, {}};
  const QString folder = *inbox.inboxFolder();
  QSaveFile file(folder + QLatin1Char('/') + batch.id.toString(QUuid::WithoutBraces).toUpper() +
                 QStringLiteral(".json"));
  if (!file.open(QIODevice::WriteOnly) || file.write(batch.toJson()) < 0 || !file.commit())
    throw std::runtime_error("could not write a batch");
  batch.file = file.fileName();
  return batch;
}

QString AgentRig::writeFile(const QString& name, const QByteArray& bytes) {
  return root.write(QStringLiteral("files/") + name, bytes);
}

QString AgentRig::signIn() {
  const QString token = service.createSession(QStringLiteral("ada@example.com"), true);
  storeKeychainString(keychain, token, sessionTokenAccount());
  // As the Secret Service's change signal tells the agent's client.
  api.sessionToken().forget();
  return token;
}

QStringList AgentRig::bucketPaths() const {
  QStringList paths;
  for (const Bucket::ItemPointer& item : delegate->store().current().items()) paths.append(item->url());
  return paths;
}

QStringList AgentRig::handedPaths() const {
  QStringList paths = bucketPaths();
  if (const auto session = delegate->store().session()) paths.append(session->arriving());
  return paths;
}

}  // namespace pm::test
