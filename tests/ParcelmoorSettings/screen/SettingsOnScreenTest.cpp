// The settings windows as a user sees them on an X desktop: framed by the window manager, composed over
// the wallpaper, in the light and the dark theme the desktop's settings manager switches between. Checks
// read the screen's pixels where what matters is what the screen shows; every view is kept as a
// screenshot of the whole screen in the test artifacts (screen-settings-<screen>-<theme>-<view>.png).
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "ParcelmoorSettings/views/AppsRig.h"
#include "ParcelmoorSettings/views/SettingsWindowRig.h"
#include "XSettingsManager.h"
#include "core/AccountState.h"
#include "panel/DesktopOnX11.h"
#include "sync/SyncState.h"
#include "views/ConnectionEditor.h"
#include "views/FlowLabel.h"
#include "views/PairingSheet.h"
#include "views/Popover.h"
#include "views/SyncCodeSheet.h"
#include "views/WindowPlacement.h"

namespace pm::settings {
namespace {

using namespace std::chrono_literals;

const auto* const kDesktop = ::testing::AddGlobalTestEnvironment(new pm::test::DesktopOnX11(true));

const QString kLongAddress = QStringLiteral("sam.lee.with.a.rather.long.address@example-company.org");

enum class Theme { light, dark };
constexpr Theme kThemes[] = {Theme::light, Theme::dark};

QString themeName(Theme theme) {
  return theme == Theme::dark ? QStringLiteral("dark") : QStringLiteral("light");
}

test::XSettingsManager& desktopSettings() {
  static test::XSettingsManager manager;
  return manager;
}

bool paletteIsDark() {
  const QPalette palette = QApplication::palette();
  return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

// Switches the desktop's theme as a user does in the desktop's settings, and waits until the program has
// taken it.
void useTheme(Theme theme) {
  desktopSettings().set("Net/ThemeName", theme == Theme::dark ? "Adwaita-dark" : "Adwaita");
  ASSERT_TRUE(pm::test::runUntil([&] { return paletteIsDark() == (theme == Theme::dark); }, 20s))
      << "the program follows the desktop to its " << themeName(theme).toStdString() << " theme";
}

QScreen& screen() {
  return *QGuiApplication::primaryScreen();
}

QImage grabScreen() {
  return screen().grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

// A point of the screen's image for a point in Qt's coordinates.
QPoint devicePoint(QPoint logical) {
  const qreal ratio = screen().devicePixelRatio();
  return {int(std::lround(logical.x() * ratio)), int(std::lround(logical.y() * ratio))};
}

void saveShot(const QString& view, Theme theme) {
  QDir().mkpath(pm::test::artifactsDirectory());
  const QString name =
      QStringLiteral("screen-settings-%1-%2-%3.png")
          .arg(qEnvironmentVariable("PM_SCREEN_NAME", QStringLiteral("1x")), themeName(theme), view);
  grabScreen().save(QDir(pm::test::artifactsDirectory()).filePath(name));
}

int distance(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// The share of the window's pixels that the screen shows as the window draws them.
double shownShare(QWidget& window) {
  const QImage drawn = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage screenImage = grabScreen();
  const QPoint origin = devicePoint(window.geometry().topLeft());
  int same = 0;
  int all = 0;
  for (int y = 0; y < drawn.height(); y += 2) {
    for (int x = 0; x < drawn.width(); x += 2) {
      const QPoint at = origin + QPoint(x, y);
      if (!screenImage.rect().contains(at)) continue;
      ++all;
      if (distance(drawn.pixelColor(x, y), screenImage.pixelColor(at)) <= 24) ++same;
    }
  }
  return all ? double(same) / all : 0.0;
}

// Until the window manager has framed `window` and the screen shows what the window draws now, in the
// palette of the moment: the window's last change has reached the screen. Text smoothed at a fractional
// pixel density differs a little between a window's own picture and the screen's, so nearly all of it
// must match, the same in two looks one after the other.
void waitShown(QWidget& window) {
  double share = 0;
  double before = -1;
  const bool drawn = pm::test::runUntil(
      [&] {
        if (!window.isVisible() || window.frameGeometry() == window.geometry()) return false;
        share = shownShare(window);
        const bool settled = share >= 0.85 && std::abs(share - before) < 0.005;
        before = share;
        return settled;
      },
      20s);
  if (!drawn) saveShot(QStringLiteral("not-drawn"), paletteIsDark() ? Theme::dark : Theme::light);
  ASSERT_TRUE(drawn) << "the window is framed and drawn: " << window.isVisible() << ", frame "
                     << window.frameGeometry().x() << "," << window.frameGeometry().y() << " content "
                     << window.geometry().x() << "," << window.geometry().y() << ", " << share * 100
                     << "% of it shows";
}

// A desktop's panel along the bottom of the screen: a dock window that reserves its strip, so the screen's
// free area (the window manager's work area) ends above it.
class BottomPanel {
 public:
  explicit BottomPanel(int height) {
    const QRect whole = screen().geometry();
    bar_.setAttribute(Qt::WA_X11NetWmWindowTypeDock);
    bar_.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    bar_.setGeometry(whole.left(), whole.bottom() + 1 - height, whole.width(), height);
    bar_.setAutoFillBackground(true);
    QPalette colours = bar_.palette();
    colours.setColor(QPalette::Window, QColor(24, 24, 28));
    bar_.setPalette(colours);
    bar_.winId();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11->connection();
    const auto device = [](int points) { return quint32(std::lround(points * screen().devicePixelRatio())); };
    // Left, right, top, bottom, then the strips' extents: the bottom one across the screen's width.
    const quint32 strut[12] = {0, 0, 0, device(height), 0, 0, 0, 0, 0, 0, 0, device(whole.width()) - 1};
    for (const char* name : {"_NET_WM_STRUT_PARTIAL", "_NET_WM_STRUT"}) {
      const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
          xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name),
                                nullptr),
          &std::free);
      xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(bar_.winId()), atom->atom,
                          XCB_ATOM_CARDINAL, 32, qstrcmp(name, "_NET_WM_STRUT") == 0 ? 4 : 12, strut);
    }
    bar_.show();
    reserved_ = pm::test::runUntil(
        [&] { return screen().availableGeometry().bottom() <= whole.bottom() - height; }, 20s);
  }

  bool reserved() const { return reserved_; }

 private:
  QWidget bar_;
  bool reserved_ = false;
};

// Whether a window that no window manager frames (a popup, a menu, the window manager's own notice of a
// desktop switch) shows on the screen.
bool unframedWindowShown() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11->connection();
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  const std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &std::free);
  if (!tree) return false;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  for (int index = 0; index < xcb_query_tree_children_length(tree.get()); ++index) {
    const std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, children[index]),
                                        nullptr),
        &std::free);
    if (!attributes || !attributes->override_redirect || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
      continue;
    const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, children[index]), nullptr),
        &std::free);
    // Qt keeps a window of one pixel off the screen for itself.
    if (geometry && geometry->width > 1 && geometry->x + geometry->width > 0 &&
        geometry->y + geometry->height > 0)
      return true;
  }
  return false;
}

class SettingsOnScreen : public ::testing::Test {
 protected:
  // The window manager's notice of the desktop switch at its start goes before the first screenshot.
  void SetUp() override {
    ASSERT_TRUE(pm::test::runUntil([] { return !unframedWindowShown(); }, 20s));
  }
  void TearDown() override { useTheme(Theme::light); }
};

TEST_F(SettingsOnScreen, TheWindowFollowsTheDesktopThemeWhileItIsOpen) {
  useTheme(Theme::light);
  test::SettingsWindowRig rig;
  AccountState::signedIn(QStringLiteral("ada.lovelace@example.com"), true).save(rig.defaults, rig.signals);
  SettingsView& view = rig.open();
  placeWindow(view, SettingsView::kSize);
  ASSERT_NO_FATAL_FAILURE(waitShown(view));
  // The page's ground, away from any row, as the screen shows it.
  const QPoint ground = devicePoint(view.geometry().bottomRight() - QPoint(30, 30));
  const auto lightness = [&] { return grabScreen().pixelColor(ground).lightness(); };
  EXPECT_GT(lightness(), 180);

  for (const Theme theme : {Theme::dark, Theme::light}) {
    SCOPED_TRACE(themeName(theme).toStdString());
    ASSERT_NO_FATAL_FAILURE(useTheme(theme));
    EXPECT_TRUE(
        pm::test::runUntil([&] { return theme == Theme::dark ? lightness() < 90 : lightness() > 180; }, 20s))
        << "the open window turns " << themeName(theme).toStdString() << " on the screen, at " << lightness();
    saveShot(QStringLiteral("theme-switched"), theme);
  }
}

// Each window below is made once and kept while the desktop switches between its themes, as a user's
// window is.
TEST_F(SettingsOnScreen, TheWindowOpensWhollyOnTheScreenAndShowsALongAddressWhole) {
  ASSERT_NO_FATAL_FAILURE(useTheme(Theme::light));
  const BottomPanel panel(32);
  ASSERT_TRUE(panel.reserved()) << "the window manager keeps the panel's strip free";
  test::SettingsWindowRig rig;
  AccountState::signedIn(kLongAddress, true).save(rig.defaults, rig.signals);
  SyncState::on().save(rig.defaults, rig.signals);
  SettingsView& view = rig.open();
  view.hide();
  // As the program opens it: placed before it is shown.
  placeWindow(view, SettingsView::kSize);
  view.show();
  ASSERT_NO_FATAL_FAILURE(waitShown(view));
  const QRect available = screen().availableGeometry();
  EXPECT_TRUE(pm::test::runUntil([&] { return available.contains(view.frameGeometry()); }, 10s))
      << "frame " << view.frameGeometry().y() << "+" << view.frameGeometry().height() << " on a screen of "
      << available.height();
  for (const Theme theme : kThemes) {
    SCOPED_TRACE(themeName(theme).toStdString());
    ASSERT_NO_FATAL_FAILURE(useTheme(theme));
    rig.click("sidebar.account");
    ASSERT_NO_FATAL_FAILURE(waitShown(view));
    EXPECT_TRUE(available.contains(view.frameGeometry()));
    auto* status = rig.find<FlowLabel>("account.status");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->accessibleName(), kLongAddress);
    EXPECT_GE(status->contentsRect().width() + 1, status->widestWordWidth());
    // The page fits the window it opens in: no part of it is out of sight.
    auto* scroll = rig.find<QScrollArea>("account.scroll");
    ASSERT_NE(scroll, nullptr);
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    saveShot(QStringLiteral("account-long-address"), theme);

    rig.click("sidebar.advanced");
    rig.click("advanced.checkForUpdates");
    ASSERT_NO_FATAL_FAILURE(waitShown(view));
    saveShot(QStringLiteral("advanced-after-update-check"), theme);
  }
}

// A window that would take the screen's whole height: its content gives way to the title bar and the
// borders, which stay on the screen.
TEST_F(SettingsOnScreen, AWindowAsTallAsTheScreenKeepsItsFrameOnIt) {
  ASSERT_NO_FATAL_FAILURE(useTheme(Theme::light));
  const BottomPanel panel(32);
  ASSERT_TRUE(panel.reserved()) << "the window manager keeps the panel's strip free";
  test::SettingsWindowRig rig;
  SettingsView& view = rig.open();
  view.hide();
  const QRect available = screen().availableGeometry();
  placeWindow(view, QSize(SettingsView::kSize.width(), available.height() + 200));
  view.show();
  ASSERT_NO_FATAL_FAILURE(waitShown(view));
  EXPECT_TRUE(pm::test::runUntil([&] { return available.contains(view.frameGeometry()); }, 10s))
      << "frame " << view.frameGeometry().y() << "+" << view.frameGeometry().height() << " on a screen of "
      << available.y() << "+" << available.height();
  ASSERT_NO_FATAL_FAILURE(waitShown(view));
  EXPECT_GE(view.geometry().height(), available.height() - 100) << "the content takes the rest";
  saveShot(QStringLiteral("window-as-tall-as-the-screen"), Theme::light);
}

TEST_F(SettingsOnScreen, TheEditorsFormScrollsUnderItsHeading) {
  test::AppsRig rig;
  ConnectionEditor editor(UploaderConfig(UploaderConfig::Kind::ftp), true, rig.services());
  editor.move(screen().availableGeometry().topLeft() + QPoint(40, 40));
  editor.show();
  auto* scroll = editor.findChild<QScrollArea*>(QStringLiteral("editor.scroll"));
  ASSERT_NE(scroll, nullptr);
  ASSERT_TRUE(pm::test::runUntil([&] { return scroll->verticalScrollBar()->maximum() > 0; }));
  scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum() / 2);
  for (const Theme theme : kThemes) {
    SCOPED_TRACE(themeName(theme).toStdString());
    ASSERT_NO_FATAL_FAILURE(useTheme(theme));
    ASSERT_NO_FATAL_FAILURE(waitShown(editor));
    saveShot(QStringLiteral("editor-scrolled"), theme);
  }
}

TEST_F(SettingsOnScreen, APairingSheetIsWideEnoughForItsTitleBar) {
  SyncCodeSheet sheet(QStringLiteral("K7Q2PZ"), [] {});
  sheet.move(screen().availableGeometry().topLeft() + QPoint(60, 60));
  sheet.show();
  for (const Theme theme : kThemes) {
    SCOPED_TRACE(themeName(theme).toStdString());
    ASSERT_NO_FATAL_FAILURE(useTheme(theme));
    ASSERT_NO_FATAL_FAILURE(waitShown(sheet));
    EXPECT_EQ(sheet.width(), PairingSheet::widthFor(sheet.windowTitle()));
    EXPECT_GT(sheet.width(), PairingSheet::kWidth) << "the program's name beside the title takes more room";
    saveShot(QStringLiteral("pairing-sheet"), theme);
  }
}

// Whether `pixel` lies on the line between two colours (any blend of them), within a tolerance.
bool blendOf(QColor pixel, QColor a, QColor b) {
  for (int step = 0; step <= 32; ++step) {
    const qreal t = step / 32.0;
    const QColor mixed = QColor::fromRgbF(float(a.redF() * (1 - t) + b.redF() * t),
                                          float(a.greenF() * (1 - t) + b.greenF() * t),
                                          float(a.blueF() * (1 - t) + b.blueF() * t));
    if (distance(pixel, mixed) <= 12) return true;
  }
  return false;
}

TEST_F(SettingsOnScreen, APopoversRoundedCornersBlendIntoTheDesktop) {
  // A button alone on the desktop, so the bubble under it stands on the wallpaper.
  QToolButton anchor;
  anchor.setText(QStringLiteral("About"));
  anchor.move(screen().availableGeometry().topLeft() + QPoint(300, 120));
  anchor.show();
  for (const Theme theme : kThemes) {
    SCOPED_TRACE(themeName(theme).toStdString());
    ASSERT_NO_FATAL_FAILURE(useTheme(theme));
    ASSERT_NO_FATAL_FAILURE(waitShown(anchor));
    const QImage before = grabScreen();
    auto* content = new QLabel(QStringLiteral("A bubble with rounded corners over the desktop."));
    content->setContentsMargins(16, 16, 16, 16);
    auto* popover = new Popover(content, &anchor);
    popover->showAt(anchor);
    ASSERT_TRUE(pm::test::runUntil(
        [&] {
          const QPoint inside = devicePoint(popover->geometry().center());
          return popover->isVisible() &&
                 distance(grabScreen().pixelColor(inside), popover->palette().color(QPalette::Window)) < 24;
        },
        20s));
    const QImage after = grabScreen();
    saveShot(QStringLiteral("popover"), theme);

    // The bottom corners, which no arrow touches: each pixel on screen is the desktop, the bubble or its
    // frame, or, where the edge passes through it, a blend of the frame with the desktop.
    const QColor fill = popover->palette().color(QPalette::Window);
    const QColor frame = popover->palette().color(QPalette::Dark);
    const qreal ratio = screen().devicePixelRatio();
    const int side = int(std::ceil(Popover::kCornerRadius * ratio));
    const QRect window(devicePoint(popover->geometry().topLeft()), popover->geometry().size() * ratio);
    int blended = 0;
    for (const QPoint corner :
         {window.bottomLeft() + QPoint(0, 1 - side), window.bottomRight() + QPoint(1 - side, 1 - side)}) {
      for (int y = corner.y(); y < corner.y() + side; ++y) {
        for (int x = corner.x(); x < corner.x() + side; ++x) {
          const QColor shown = after.pixelColor(x, y);
          const QColor desktop = before.pixelColor(x, y);
          if (distance(shown, desktop) > 12 && !blendOf(shown, fill, frame)) ++blended;
        }
      }
    }
    EXPECT_GE(blended, 4) << "the corners' edge is smoothed into the desktop";
    popover->close();
  }
}

}  // namespace
}  // namespace pm::settings
