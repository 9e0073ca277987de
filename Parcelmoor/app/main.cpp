// The agent: a floating bucket bar that takes files and uploads them. It has no window at launch.
// "Parcelmoor send PATH…" hands files to it instead (see SendCommand.h).
#include <QApplication>
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QProcessEnvironment>
#include <QTextStream>

#include "app/AgentCommandLine.h"
#include "app/AppDelegate.h"
#include "app/ConnectorDriveSignIns.h"
#include "app/DesktopWorkspace.h"
#include "app/DisplayPlatform.h"
#include "app/LaunchRequests.h"
#include "app/OAuthCallbackRedirects.h"
#include "app/SyncedFolderCheck.h"
#include "connectors/DropboxSignIn.h"
#include "connectors/GoogleSignIn.h"
#include "connectors/ICloudUploader.h"
#include "connectors/OAuthCallback.h"
#include "connectors/OneDriveSignIn.h"
#include "connectors/UploaderFactory.h"
#include "core/ParcelmoorAPI.h"
#include "core/SharedInbox.h"
#include "core/UserNotifications.h"
#include "panel/DesktopFileViewer.h"
#include "panel/PreviewWindow.h"
#include "panel/QuickLookPreview.h"
#include "panel/UploadPanel.h"
#include "platform/Async.h"
#include "platform/BundleInfo.h"
#include "platform/Clock.h"
#include "platform/Crypto.h"
#include "platform/Keychain.h"
#include "platform/Log.h"
#include "platform/Notifier.h"
#include "platform/Paths.h"
#include "platform/SecretServiceChanges.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "platform/SingleInstance.h"
#include "platform/SoundPlayer.h"
#include "platform/TerminationSignals.h"
#include "send/SendCommand.h"
#include "sync/SyncCoordinator.h"
#include "upload/BucketUploader.h"
#include "upload/UploadLeftovers.h"
#include "upload/UploadWorkingFolder.h"

namespace {

// A file manager or a terminal may send files where no display is reachable, so the command runs on a
// plain core application and never touches the GUI.
int runSend(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Parcelmoor"));
  QTextStream out(stdout);
  QTextStream err(stderr);
  const pm::Paths paths = pm::Paths::standard();
  const std::unique_ptr<pm::SharedDefaults> defaults =
      pm::openSharedDefaults(paths, QString::fromLatin1(pm::names::kBundleIdentifier));
  pm::SendCommandEnvironment environment;
  environment.paths = paths;
  environment.defaults = defaults.get();
  return pm::runSendCommand(QCoreApplication::arguments().mid(2), out, err, environment);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && qstrcmp(argv[1], "send") == 0) return runSend(argc, argv);
  // Help and a wrong option are answered where no display is reachable, before anything starts.
  QStringList given;
  for (int i = 1; i < argc; ++i) given.append(QString::fromLocal8Bit(argv[i]));
  QTextStream out(stdout);
  QTextStream err(stderr);
  if (const std::optional<int> exitCode = pm::handleAgentCommandLine(given, out, err)) return *exitCode;

  // The first bucket key is made while a waiting batch is taken; the random generator is seeded by then.
  pm::crypto::prepareInBackground();

  const pm::DisplayChoice display = pm::chooseDisplayPlatform(QProcessEnvironment::systemEnvironment());
  if (display.problem) {
    QTextStream(stderr) << *display.problem << '\n';
    return 1;
  }
  if (display.platform) qputenv("QT_QPA_PLATFORM", *display.platform);

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Parcelmoor"));
  // The agent lives on without windows: the bar comes and goes, the program stays.
  QApplication::setQuitOnLastWindowClosed(false);
  // A session that ends, a terminal's Ctrl-C or a kill ends the agent as a quit does: the event loop
  // returns and everything below is taken down in order (the working folder removed, the history and the
  // suite written).
  pm::TerminationSignals termination;
  QObject::connect(&termination, &pm::TerminationSignals::requested, &application, [](int signalNumber) {
    qCInfo(lcApp, "quitting on signal %d", signalNumber);
    QCoreApplication::quit();
  });

  // One agent per session: a second launch hands its request to the running one before it builds
  // anything (a parcelmoor:// link from the desktop arrives as an argument).
  const QStringList arguments = QCoreApplication::arguments().mid(1);
  pm::SingleInstance instance;
  if (const std::optional<int> exitCode = pm::handOffToRunningAgent(instance, arguments, err))
    return *exitCode;

  const pm::Paths paths = pm::Paths::standard();
  // Working files of a run that was killed mid-upload go before this run makes its own folder; only this
  // agent (one per session) uploads, so nothing alive is in the way.
  pm::removeUploadLeftovers(paths.temporary);
  std::optional<pm::UploadWorkingFolder> workingFolder;
  try {
    workingFolder.emplace(paths.temporary);
  } catch (const pm::UploadError& error) {
    err << "Parcelmoor: " << error.message() << '\n';
    return 1;
  }
  const std::unique_ptr<pm::SharedDefaults> defaults =
      pm::openSharedDefaults(paths, QString::fromLatin1(pm::names::kBundleIdentifier));
  pm::DBusSignals signals;
  pm::SecretServiceKeychain keychain;
  pm::SystemClock clock;
  QNetworkAccessManager network;
  pm::ParcelmoorAPI api(network, keychain, {pm::serviceBaseUrl(), pm::preferredLanguages()});
  // The session check and a waiting batch's first request both need the token: its read starts now, off
  // this thread, while the rest is built. A change to any keychain item, by this program or another,
  // makes the next use read it again.
  api.sessionToken().readAhead();
  pm::SecretServiceChanges keychainChanges;
  QObject::connect(&keychainChanges, &pm::SecretServiceChanges::changed, &api.sessionToken(),
                   &pm::SessionTokenCache::forget);
  pm::SharedInbox inbox(paths, *defaults, clock);
  pm::DBusNotifier notifier;
  pm::UserNotifications notifications(*defaults, signals, notifier);
  pm::DesktopWorkspace workspace;
  // The bar's services go before the panel, which uses them until it goes.
  pm::QuickLookPreview preview;
  pm::DesktopFileViewer fileViewer;
  pm::CanberraSoundPlayer sounds;
  pm::UploadPanel panel;
  panel.setBarServices({&clock, &fileViewer, &preview, &notifications, defaults.get(), &sounds});
  // One Google sign-in serves both the connect request and the Drive uploaders' token renewal.
  const auto google =
      std::make_shared<const pm::GoogleSignIn>(network, pm::BundleInfo::compiledIn(), clock, &workspace);
  // The one waiter for sign-in redirects that come back as opened parcelmoor:// URLs.
  pm::OAuthCallback oauthCallback;
  const auto oneDrive = std::make_shared<const pm::OneDriveSignIn>(network, pm::BundleInfo::compiledIn(),
                                                                   clock, &oauthCallback, &workspace);
  const auto dropbox = std::make_shared<const pm::DropboxSignIn>(network, pm::BundleInfo::compiledIn(), clock,
                                                                 &workspace, &oauthCallback);
  pm::ConnectorDriveSignIns drives(keychain, google, oneDrive, dropbox);
  pm::OAuthCallbackRedirects oauth(oauthCallback);
  const QString ubiquityRoot = pm::ICloudUploader::standardRoot();
  pm::SyncedFolderCheck icloud(ubiquityRoot, *defaults, signals);
  const pm::UploaderServices uploaderServices{
      network, api,      keychain, *defaults,    workingFolder->path(),
      google,  oneDrive, dropbox,  ubiquityRoot, &signals};

  std::optional<QString> settingsProgram;
  if (const QString chosen = qEnvironmentVariable("PARCELMOOR_SETTINGS_PROGRAM"); !chosen.isEmpty())
    settingsProgram = chosen;

  pm::AgentServices services{
      *defaults,
      signals,
      keychain,
      clock,
      paths,
      api,
      inbox,
      notifications,
      panel,
      drives,
      icloud,
      oauth,
      workspace,
      [&uploaderServices](const pm::UploaderConfig& config) {
        return pm::makeUploader(config, uploaderServices);
      },
      [&](pm::AppSettings& settings) {
        return std::make_unique<pm::SyncCoordinator>(*defaults, signals, keychain, settings, api, clock);
      },
      QCoreApplication::applicationDirPath(),
      settingsProgram,
  };
  pm::AppDelegate delegate(std::move(services));
  delegate.finishLaunching();

  pm::routeLaunchRequests(instance, delegate, arguments);

  const int status = QApplication::exec();
  pm::finishWorkerPools();
  return status;
}
