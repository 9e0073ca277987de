// The agent: a floating bucket bar that takes files and uploads them. It has no window at launch.
#include <QApplication>
#include <QNetworkAccessManager>
#include <QProcessEnvironment>
#include <QTextStream>
#include <QUrl>

#include "app/AppDelegate.h"
#include "app/DisplayPlatform.h"
#include "app/Standins.h"
#include "app/DesktopWorkspace.h"
#include "connectors/UploaderFactory.h"
#include "core/ParcelmoorAPI.h"
#include "core/SharedInbox.h"
#include "core/UserNotifications.h"
#include "panel/UploadPanel.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"
#include "platform/Notifier.h"
#include "platform/Paths.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "upload/BucketUploader.h"

namespace {

// URLs given on the command line (the desktop's scheme handler passes parcelmoor:// links this way).
QList<QUrl> urlArguments(const QStringList& arguments) {
  QList<QUrl> urls;
  for (qsizetype index = 1; index < arguments.size(); ++index) {
    const QUrl url(arguments.at(index));
    if (url.isValid() && !url.scheme().isEmpty()) urls.append(url);
  }
  return urls;
}

}  // namespace

int main(int argc, char** argv) {
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

  // ---- Plug-in point: single instance and the "send" subcommand. ----------------------------------
  // Before anything below runs, a second launch forwards to the agent that owns the bus name and exits,
  // and "Parcelmoor send PATH…" writes its batch and exits. The running agent's Reopen() and
  // OpenUrls(as) then call delegate.reopen() and delegate.openUrls(urls) (see below).
  // -----------------------------------------------------------------------------------------------

  const pm::Paths paths = pm::Paths::standard();
  const std::unique_ptr<pm::SharedDefaults> defaults =
      pm::openSharedDefaults(paths, QString::fromLatin1(pm::names::kBundleIdentifier));
  pm::DBusSignals signals;
  pm::SecretServiceKeychain keychain;
  pm::SystemClock clock;
  QNetworkAccessManager network;
  pm::ParcelmoorAPI api(network, keychain, {pm::serviceBaseUrl(), pm::preferredLanguages()});
  pm::SharedInbox inbox(paths, *defaults, clock);
  pm::DBusNotifier notifier;
  pm::UserNotifications notifications(*defaults, signals, notifier);
  pm::DesktopWorkspace workspace;
  pm::UploadPanel panel;
  pm::UnavailableDriveSignIns drives;
  pm::UncheckedICloud icloud;
  pm::NoOAuthRedirects oauth;
  const pm::UploaderServices uploaderServices{network, api, keychain, *defaults, paths.temporary};

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
      [] { return std::make_unique<pm::DormantSyncCoordinator>(); },
      QCoreApplication::applicationDirPath(),
      settingsProgram,
  };
  pm::AppDelegate delegate(std::move(services));
  delegate.finishLaunching();

  if (const QList<QUrl> urls = urlArguments(QCoreApplication::arguments()); !urls.isEmpty())
    delegate.openUrls(urls);

  return QApplication::exec();
}
