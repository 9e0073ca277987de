// The settings windows on a desktop of their own: an X server (run under xvfb-run) with a wallpaper, a
// window manager, a compositing manager and a settings manager that switches the desktop's theme, the way
// a user meets them. The text density comes from PM_SCREEN_DPI (Xft.dpi), put before Qt reads it.
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

#include "DesktopGround.h"
#include "platform/Async.h"
#include "views/DesktopPalette.h"
#include "views/SettingsStyle.h"

int main(int argc, char** argv) {
  // The theme is the settings manager's, as on a desktop, not one forced on the process.
  qunsetenv("GTK_THEME");
  const auto ground =
      std::make_unique<pm::settings::test::DesktopGround>(qEnvironmentVariableIntValue("PM_SCREEN_DPI"));
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Parcelmoor Settings"));
  // As the settings program starts.
  pm::settings::useSettingsStyle();
  pm::settings::followDesktopPalette();
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  pm::finishWorkerPools();
  return status;
}
