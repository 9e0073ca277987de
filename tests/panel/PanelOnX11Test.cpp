// The panel on a real X server (run under xvfb-run) with a window manager that honours "stay above":
// what only X decides — stacking, a frame beyond the screen, the input region — driven with xdotool.
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include "PanelRig.h"
#include "panel/PanelWindowFrame.h"
#include "panel/UnconstrainedPanel.h"
#include "panel/UploadPanelView.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// Runs a tool to its end and returns what it printed.
QString run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(10'000)) return {};
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Counts the presses that reach a widget.
class PressCounter final : public QObject {
 public:
  explicit PressCounter(QWidget& widget) { widget.installEventFilter(this); }
  int presses = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress) ++presses;
    return false;
  }
};

// The window manager for the whole run: started once, before the first window maps.
class WindowManager final : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb")) << "runs on X (under xvfb-run)";
    manager_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    ASSERT_TRUE(manager_.waitForStarted()) << "openbox is installed by scripts/setup";
    ASSERT_TRUE(test::runUntil(
        [] {
          return run(QStringLiteral("xprop"),
                     {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
              .contains(QStringLiteral("window id"));
        },
        30s))
        << "the window manager came up";
  }
  void TearDown() override {
    manager_.terminate();
    manager_.waitForFinished(5'000);
  }

 private:
  QProcess manager_;
};

const auto* const kWindowManager = ::testing::AddGlobalTestEnvironment(new WindowManager);

// The client windows the window manager manages, bottom to top, as it announces them on the root window.
QList<WId> stackingOrder() {
  const QString line =
      run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
  QList<WId> order;
  const qsizetype hash = line.indexOf(QLatin1Char('#'));
  if (hash < 0) return order;
  const QStringList ids = line.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
  for (const QString& id : ids) order.append(WId(id.trimmed().toULongLong(nullptr, 16)));
  return order;
}

void click(QPoint at) {
  run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x()),
                                  QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
}

// Where X has the window, from the server itself.
QPoint serverPosition(const QWidget& window) {
  const QString shell =
      run(QStringLiteral("xdotool"),
          {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::number(window.winId())});
  QPoint position;
  const QStringList lines = shell.split(QLatin1Char('\n'));
  for (const QString& line : lines) {
    if (line.startsWith(QLatin1String("X="))) position.setX(line.mid(2).toInt());
    if (line.startsWith(QLatin1String("Y="))) position.setY(line.mid(2).toInt());
  }
  return position;
}

TEST(PanelOnX11, StaysAboveAnOrdinaryWindowReachesBeyondTheScreenAndLetsClicksBesideTheBarThrough) {
  QCursor::setPos(QGuiApplication::primaryScreen()->geometry().center());
  test::PanelRig rig;
  ASSERT_TRUE(rig.showAndSettle());
  UnconstrainedPanel& panel = *rig.panel.window();
  // The window manager maps the panel and the server exposes it; on a loaded machine that takes a while.
  ASSERT_TRUE(test::runUntil([&] { return panel.windowHandle() && panel.windowHandle()->isExposed(); }, 30s))
      << "panel exposed";
  const QRect expected =
      panelWindowFrame(PanelEdge::left, QGuiApplication::primaryScreen()->availableGeometry());
  ASSERT_LT(expected.left(), 0);

  // An ordinary window under the panel, shown later and made active: it would cover the panel if the
  // panel did not stay above.
  QWidget ordinary;
  ordinary.setWindowTitle(QStringLiteral("Ordinary"));
  ordinary.setGeometry(QGuiApplication::primaryScreen()->availableGeometry().adjusted(0, 0, -400, 0));
  ordinary.show();
  // First the window manager maps it (it appears in the manager's list), then the server exposes it.
  ASSERT_TRUE(test::runUntil([&] { return stackingOrder().contains(ordinary.winId()); }, 30s))
      << "ordinary window managed";
  ASSERT_TRUE(test::runUntil([&] { return ordinary.isVisible() && ordinary.windowHandle()->isExposed(); }, 30s))
      << "ordinary window exposed";
  // Asked of the window manager the way a user's click would: its focus-stealing guard may refuse a
  // program's own request to be activated.
  run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QString::number(ordinary.winId())});
  ASSERT_TRUE(test::runUntil([&] { return ordinary.isActiveWindow(); }, 30s));
  // The manager restacks after activating: wait until it reports the panel above the active window.
  ASSERT_TRUE(test::runUntil(
      [&] {
        const QList<WId> order = stackingOrder();
        return order.contains(panel.winId()) &&
               order.indexOf(panel.winId()) > order.indexOf(ordinary.winId());
      },
      30s))
      << "the panel stacked above the active window";

  EXPECT_EQ(serverPosition(panel), expected.topLeft()) << "the frame is kept beyond the screen's edge";
  // The manager keeps the desktop "all" it was asked for (it would set the current one otherwise) or
  // reports the window sticky.
  const QString desktop =
      run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(panel.winId()),
                                    QStringLiteral("_NET_WM_DESKTOP"), QStringLiteral("_NET_WM_STATE")});
  EXPECT_TRUE(desktop.contains(QStringLiteral("_NET_WM_DESKTOP(CARDINAL) = 4294967295")) ||
              desktop.contains(QStringLiteral("_NET_WM_STATE_STICKY")))
      << "on every desktop: " << desktop.toStdString();

  PressCounter onBar(*rig.panel.view());
  PressCounter onOrdinary(ordinary);
  const UploadPanelView& view = *rig.panel.view();
  const QPoint bar = view.mapToGlobal(view.barRect().center());
  ASSERT_TRUE(ordinary.frameGeometry().contains(bar)) << "the ordinary window lies under the bar";
  click(bar);
  ASSERT_TRUE(test::runUntil([&] { return onBar.presses + onOrdinary.presses > 0; }, 30s));
  EXPECT_EQ(onBar.presses, 1) << "the bar is above, and the first press on the inactive panel reaches it";
  EXPECT_EQ(onOrdinary.presses, 0);

  // Inside the panel's rectangle, beside the bar: the window below takes it.
  const QPoint beside(panel.geometry().right() - 40, bar.y());
  ASSERT_TRUE(panel.geometry().contains(beside));
  ASSERT_TRUE(ordinary.frameGeometry().contains(beside));
  click(beside);
  ASSERT_TRUE(test::runUntil([&] { return onOrdinary.presses > 0; }, 30s));
  EXPECT_EQ(onBar.presses, 1);
  EXPECT_EQ(onOrdinary.presses, 1);
}

}  // namespace
}  // namespace pm
