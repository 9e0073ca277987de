#pragma once

#include <QGuiApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

#include "DesktopWallpaper.h"
#include "support/TestSupport.h"

namespace pm::test {

// Runs a tool to its end and returns what it printed.
inline QString runTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(10'000)) return {};
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The desktop of an X server started by xvfb-run, for a whole test program: a window manager that honours
// "stay above" (openbox) and, when asked for, a compositing manager (xcompmgr) that draws translucent
// windows over what lies below them, as a desktop user sees them. Both are up before the first window maps.
// A wallpaper, when given one, is the picture `wallpaper` makes for the screen's size in pixels, laid before
// either manager starts.
class DesktopOnX11 final : public ::testing::Environment {
 public:
  explicit DesktopOnX11(bool compositing = false, std::function<QImage(QSize)> wallpaper = {})
      : compositing_(compositing), makeWallpaper_(std::move(wallpaper)) {}

  // The wallpaper laid, in the screen's pixels; null without one.
  const QImage& wallpaper() const { return wallpaper_; }

  void SetUp() override {
    using namespace std::chrono_literals;
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb")) << "runs on X (under xvfb-run)";
    if (makeWallpaper_) {
      wallpaper_ = makeWallpaper_(screenPixels());
      ASSERT_TRUE(setWallpaper(wallpaper_)) << "the screen takes a wallpaper";
    }
    // Nobody reads what they print: a pipe nobody empties would stop them once full.
    for (QProcess* process : {&manager_, &compositor_}) {
      process->setStandardOutputFile(QProcess::nullDevice());
      process->setStandardErrorFile(QProcess::nullDevice());
    }
    manager_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    ASSERT_TRUE(manager_.waitForStarted()) << "openbox is installed by scripts/setup";
    ASSERT_TRUE(runUntil(
        [] {
          return runTool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
              .contains(QStringLiteral("window id"));
        },
        30s))
        << "the window manager came up";
    // The announcement comes before the manager's start-up is done, and a window mapped then is never
    // taken. Once the manager has answered a request from its event loop, it takes every window that maps.
    ASSERT_TRUE(managerAnswersRequests()) << "the window manager runs its event loop";
    if (!compositing_) return;
    compositor_.start(QStringLiteral("xcompmgr"), {});
    ASSERT_TRUE(compositor_.waitForStarted()) << "xcompmgr is installed by scripts/setup";
    ASSERT_TRUE(runUntil([] { return compositorRuns(); }, 30s)) << "the compositing manager came up";
  }

  void TearDown() override {
    for (QProcess* process : {&compositor_, &manager_}) {
      if (process->state() == QProcess::NotRunning) continue;
      process->terminate();
      process->waitForFinished(5'000);
    }
  }

  // Has the window manager switch to the second desktop and back. It switches only from its event loop, and
  // a request that reaches it while it still starts is lost: each is asked again until the switch is seen.
  static bool managerAnswersRequests() {
    using namespace std::chrono_literals;
    const auto start = std::chrono::steady_clock::now();
    for (const QString& desktop : {QStringLiteral("1"), QStringLiteral("0")}) {
      const auto switched = [&] {
        return runTool(QStringLiteral("xdotool"), {QStringLiteral("get_desktop")}).trimmed() == desktop;
      };
      do {
        if (std::chrono::steady_clock::now() - start > 30s) return false;
        runTool(QStringLiteral("xdotool"), {QStringLiteral("set_desktop"), desktop});
      } while (!runUntil(switched, 1s));
    }
    return true;
  }

  static xcb_atom_t atom(xcb_connection_t* connection, const QByteArray& name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()),
                              nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  }

  // Whether a compositing manager owns the screen's selection, as the desktop's hints say one must.
  static bool compositorRuns() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t selection = atom(connection, "_NET_WM_CM_S0");
    if (selection == XCB_ATOM_NONE) return false;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr),
        &std::free);
    return owner && owner->owner != XCB_NONE;
  }

 private:
  static QSize screenPixels() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data;
    return {screen->width_in_pixels, screen->height_in_pixels};
  }

  bool compositing_;
  std::function<QImage(QSize)> makeWallpaper_;
  QImage wallpaper_;
  QProcess manager_;
  QProcess compositor_;
};

}  // namespace pm::test
