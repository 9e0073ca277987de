// The settings program: one window over the shared preferences, alive as long as the agent runs.
#include <QApplication>
#include <QDBusConnection>
#include <QNetworkAccessManager>
#include <QProcessEnvironment>
#include <QTextStream>

#include "app/SettingsAppDelegate.h"
#include "app/TestSeeding.h"
#include "core/ParcelmoorAPI.h"
#include "model/AppSettings.h"
#include "model/LiveConnectionChecks.h"
#include "platform/Async.h"
#include "platform/BundleInfo.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"
#include "platform/NotificationSettings.h"
#include "platform/Paths.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "platform/SingleInstance.h"
#include "views/DesktopPalette.h"
#include "views/SettingsStyle.h"
#include "views/SettingsView.h"
#include "views/WindowPlacement.h"

namespace {

constexpr char kSettingsBusName[] = "com.wrenfold.ParcelmoorSettings";

void bringForward(QWidget& window) {
  window.showNormal();
  window.raise();
  window.activateWindow();
}

}  // namespace

int main(int argc, char** argv) {
  // Qt would abort with a message of its own; a window without a screen is the user's error to read.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    QTextStream(stderr) << "Parcelmoor Settings needs a graphical display and found none (neither DISPLAY "
                           "nor WAYLAND_DISPLAY is set). Open it from a desktop session.\n";
    return 1;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ParcelmoorSettings"));
  QApplication::setApplicationDisplayName(QApplication::translate("main", "Parcelmoor Settings"));
  QGuiApplication::setDesktopFileName(QStringLiteral("com.wrenfold.ParcelmoorSettings"));
  pm::settings::useSettingsStyle();
  pm::settings::followDesktopPalette();

  // One settings window per session: a second launch raises the open one and ends before it writes
  // anything.
  pm::SingleInstance instance(QDBusConnection::sessionBus(), QString::fromLatin1(kSettingsBusName));
  switch (instance.claimOrForward({})) {
    case pm::SingleInstance::Launch::forwarded:
      return 0;
    case pm::SingleInstance::Launch::unanswered:
      QTextStream(stderr) << "Another Parcelmoor Settings holds its place on the session bus but does not "
                             "answer; not opening a second window.\n";
      return 1;
    case pm::SingleInstance::Launch::primary:
    case pm::SingleInstance::Launch::noBus:
      break;
  }

  const bool testSuite = pm::settings::isTestSuite();
  const pm::Paths paths = pm::Paths::standard();
  const std::unique_ptr<pm::SharedDefaults> defaults =
      pm::openSharedDefaults(paths, QString::fromLatin1(pm::names::kBundleIdentifier));
  pm::settings::seedTestState(*defaults, QProcessEnvironment::systemEnvironment(), testSuite);

  pm::DBusSignals signals;
  pm::SecretServiceKeychain keychain;
  pm::SystemClock clock;
  pm::settings::AppSettings settings(*defaults, signals, keychain, clock);
  pm::DesktopNotificationSettings notificationSettings;
  const pm::BundleInfo bundle = pm::BundleInfo::compiledIn();

  pm::settings::SettingsAppDelegate delegate(signals, {.testSuite = testSuite});
  QObject::connect(&delegate, &pm::settings::SettingsAppDelegate::terminateRequested, &application,
                   &QCoreApplication::quit);

  QNetworkAccessManager network;
  pm::settings::LiveConnectionChecks checks(network, keychain, *defaults, signals, clock, bundle,
                                            pm::serviceBaseUrl());
  pm::settings::SettingsView window(settings, *defaults, signals, notificationSettings, bundle, keychain, checks);
  pm::settings::placeWindow(window, pm::settings::SettingsView::kSize);
  QObject::connect(&instance, &pm::SingleInstance::reopenRequested, &window,
                   [&window] { bringForward(window); });

  delegate.finishLaunching(window);
  const int status = QApplication::exec();
  pm::finishWorkerPools();
  return status;
}
