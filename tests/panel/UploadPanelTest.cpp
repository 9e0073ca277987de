#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include "PanelRig.h"
#include "panel/PanelContent.h"
#include "panel/PanelWindowFrame.h"
#include "panel/UnconstrainedPanel.h"
#include "panel/UploadPanelView.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::PanelRig;
using test::pointAt;
using test::screenNamed;

// What the content is told and where the window goes, in order.
struct PanelTrace {
  explicit PanelTrace(UploadPanel& panel) {
    QObject::connect(&panel.presentation(), &PanelPresentation::visibleChanged, &context, [&panel, this] {
      events.push_back(QStringLiteral("visible=%1 sliding=%2")
                           .arg(panel.presentation().visible())
                           .arg(panel.presentation().sliding())
                           .toStdString());
    });
    QObject::connect(&panel, &UploadPanel::placed, &context, [this](const QRect& frame) {
      // The window reaches beyond its screen, never as far as its own middle.
      const QScreen* screen = QGuiApplication::screenAt(frame.center());
      events.push_back("placed on " + (screen ? screen->name() : QStringLiteral("no screen")).toStdString());
      frames.append(frame);
    });
  }
  QObject context;
  std::vector<std::string> events;
  QList<QRect> frames;
};

std::vector<std::string> strings(std::initializer_list<const char*> texts) {
  return {texts.begin(), texts.end()};
}

class UploadPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::screens().size(), 2) << "runs with the two-screen configuration";
    pointAt(QStringLiteral("left"));
  }
};

TEST_F(UploadPanelTest, ShowPlacesTheWindowAtTheEdgeOfTheScreenUnderTheMouseAndFadesTheContentIn) {
  PanelRig rig;
  PanelTrace trace(rig.panel);
  ASSERT_TRUE(rig.showAndSettle());
  EXPECT_EQ(trace.events, strings({"placed on left", "visible=1 sliding=0"}));
  EXPECT_EQ(rig.panel.window()->geometry(),
            panelWindowFrame(PanelEdge::left, screenNamed(QStringLiteral("left"))->availableGeometry()));
  EXPECT_EQ(rig.panel.currentScreenFrame(), screenNamed(QStringLiteral("left"))->geometry());
  EXPECT_EQ(rig.panel.placedEdge(), PanelEdge::left);
  EXPECT_TRUE(rig.panel.isFollowingMouse());
}

TEST_F(UploadPanelTest, ASecondShowChangesNothing) {
  PanelRig rig;
  PanelTrace trace(rig.panel);
  rig.panel.show();
  rig.panel.show();  // before the content is in
  ASSERT_TRUE(rig.showAndSettle());
  rig.panel.show();
  test::spin(60ms);
  EXPECT_EQ(trace.events, strings({"placed on left", "visible=1 sliding=0"}));
  EXPECT_EQ(rig.panel.window()->findChildren<PanelContent*>().size(), 1);
  EXPECT_TRUE(rig.panel.isFollowingMouse());
}

TEST_F(UploadPanelTest, WithoutAStoreShowDoesNothing) {
  UploadPanel panel(PanelRig::kTimings);
  panel.show();
  EXPECT_EQ(panel.window(), nullptr);
  EXPECT_FALSE(panel.isFollowingMouse());
}

TEST_F(UploadPanelTest, FollowsTheMouseToAnotherScreenOneMoveAtATime) {
  PanelRig rig;
  ASSERT_TRUE(rig.showAndSettle());
  PanelTrace trace(rig.panel);

  pointAt(QStringLiteral("right"));
  ASSERT_TRUE(test::runUntil([&] { return !trace.frames.isEmpty(); }));
  EXPECT_TRUE(rig.panel.isMoving());
  EXPECT_EQ(trace.frames.first(),
            panelWindowFrame(PanelEdge::left, screenNamed(QStringLiteral("right"))->availableGeometry()));
  // Back to the first screen while the content slides in on the second: picked up once the move ends.
  pointAt(QStringLiteral("left"));
  ASSERT_TRUE(test::runUntil([&] { return trace.frames.size() == 2 && !rig.panel.isMoving(); }));
  EXPECT_EQ(trace.events, strings({"visible=0 sliding=1", "placed on right", "visible=1 sliding=1",
                                   "visible=0 sliding=1", "placed on left", "visible=1 sliding=1"}));
  EXPECT_EQ(rig.panel.currentScreenFrame(), screenNamed(QStringLiteral("left"))->geometry());
  EXPECT_EQ(rig.panel.presentation().edge(), PanelEdge::left);
}

TEST_F(UploadPanelTest, StaysPutWhileTheMouseMovesOnTheSameScreen) {
  PanelRig rig;
  ASSERT_TRUE(rig.showAndSettle());
  PanelTrace trace(rig.panel);
  pointAt(QStringLiteral("left"), QPoint(700, -400));
  test::spin(60ms);
  pointAt(QStringLiteral("left"), QPoint(-900, 500));
  test::spin(60ms);
  EXPECT_TRUE(trace.events.empty());
  EXPECT_FALSE(rig.panel.isMoving());
}

TEST_F(UploadPanelTest, AnEdgeChangeWhileShownSlidesOutAndInAtTheNewEdge) {
  PanelRig rig;
  ASSERT_TRUE(rig.showAndSettle());
  PanelTrace trace(rig.panel);
  rig.settings.setPanelEdge(PanelEdge::right);
  rig.panel.applyEdgeSetting();
  ASSERT_TRUE(test::runUntil([&] { return !trace.frames.isEmpty() && !rig.panel.isMoving(); }));
  EXPECT_EQ(trace.events, strings({"visible=0 sliding=1", "placed on left", "visible=1 sliding=1"}));
  EXPECT_EQ(trace.frames.first(),
            panelWindowFrame(PanelEdge::right, screenNamed(QStringLiteral("left"))->availableGeometry()));
  EXPECT_EQ(rig.panel.presentation().edge(), PanelEdge::right);
  EXPECT_EQ(rig.panel.placedEdge(), PanelEdge::right);

  // The same edge again changes nothing.
  rig.panel.applyEdgeSetting();
  test::spin(60ms);
  EXPECT_EQ(trace.frames.size(), 1);
}

TEST_F(UploadPanelTest, AnEdgeChangeWhileTheContentSlidesInIsTakenOnceTheMoveEnds) {
  PanelRig rig;
  ASSERT_TRUE(rig.showAndSettle());
  PanelTrace trace(rig.panel);
  rig.settings.setPanelEdge(PanelEdge::right);
  rig.panel.applyEdgeSetting();
  ASSERT_TRUE(test::runUntil([&] { return trace.events.size() == 3; }));
  ASSERT_TRUE(rig.panel.isMoving()) << "still sliding in at the right";
  rig.settings.setPanelEdge(PanelEdge::top);
  rig.panel.applyEdgeSetting();
  ASSERT_TRUE(test::runUntil([&] { return trace.frames.size() == 2 && !rig.panel.isMoving(); }))
      << "the window was placed " << trace.frames.size() << " times";
  EXPECT_EQ(trace.frames.last(),
            panelWindowFrame(PanelEdge::top, screenNamed(QStringLiteral("left"))->availableGeometry()));
  EXPECT_EQ(rig.panel.presentation().edge(), PanelEdge::top);
}

TEST_F(UploadPanelTest, AnEdgeChangeWhileHiddenOnlyNotesTheEdge) {
  PanelRig rig;
  ASSERT_TRUE(rig.showAndSettle());
  rig.panel.removeMonitors();
  rig.panel.slideOut([&rig] { rig.panel.orderOut(); });
  ASSERT_TRUE(test::runUntil([&] { return !rig.panel.window()->isVisible(); }));
  PanelTrace trace(rig.panel);

  rig.settings.setPanelEdge(PanelEdge::top);
  rig.panel.applyEdgeSetting();
  test::spin(60ms);
  EXPECT_TRUE(trace.events.empty());
  EXPECT_FALSE(rig.panel.window()->isVisible());
  EXPECT_EQ(rig.panel.placedEdge(), PanelEdge::top);
  EXPECT_EQ(rig.panel.presentation().edge(), PanelEdge::left) << "the content moves only when shown";

  ASSERT_TRUE(rig.showAndSettle());
  EXPECT_EQ(rig.panel.presentation().edge(), PanelEdge::top);
  EXPECT_EQ(rig.panel.window()->geometry(),
            panelWindowFrame(PanelEdge::top, screenNamed(QStringLiteral("left"))->availableGeometry()));
}

TEST_F(UploadPanelTest, ClosingSlidesTheContentOutThenRunsTheClosureAndStopsFollowing) {
  PanelRig rig;
  ASSERT_TRUE(rig.showAndSettle());
  PanelTrace trace(rig.panel);
  rig.panel.removeMonitors();
  bool closed = false;
  rig.panel.slideOut([&] {
    closed = true;
    rig.panel.orderOut();
  });
  EXPECT_TRUE(rig.panel.window()->isVisible()) << "the window stays while the content slides out";
  EXPECT_FALSE(closed);
  ASSERT_TRUE(test::runUntil([&] { return closed; }));
  EXPECT_FALSE(rig.panel.window()->isVisible());
  EXPECT_EQ(trace.events, strings({"visible=0 sliding=1"}));
  EXPECT_FALSE(rig.panel.isFollowingMouse());
  pointAt(QStringLiteral("right"));
  test::spin(60ms);
  EXPECT_TRUE(trace.frames.isEmpty()) << "a hidden panel does not follow the mouse";
}

TEST_F(UploadPanelTest, AShowWhileClosingKeepsThePanelShown) {
  PanelRig rig;
  ASSERT_TRUE(rig.showAndSettle());
  rig.panel.removeMonitors();
  int orderedOut = 0;
  rig.panel.slideOut([&] {
    ++orderedOut;
    rig.panel.orderOut();
  });
  // A batch arrives while the content slides out: the slide's end is still ahead.
  rig.panel.show();
  // Timers of the same length fire in the order they were started: once this one has, the slide that
  // would have ordered the window out has ended too.
  QObject context;
  bool slideEnded = false;
  QTimer::singleShot(PanelRig::kTimings.fade, &context, [&slideEnded] { slideEnded = true; });
  ASSERT_TRUE(test::runUntil([&] { return slideEnded && rig.panel.presentation().visible(); }));
  EXPECT_EQ(orderedOut, 0);
  EXPECT_TRUE(rig.panel.window()->isVisible());
  EXPECT_TRUE(rig.panel.presentation().visible());
  EXPECT_TRUE(rig.panel.isFollowingMouse());
}

TEST_F(UploadPanelTest, APanelClosedWhileMovingStaysClosed) {
  PanelRig rig;
  ASSERT_TRUE(rig.showAndSettle());
  PanelTrace trace(rig.panel);
  pointAt(QStringLiteral("right"));
  ASSERT_TRUE(test::runUntil([&] { return rig.panel.isMoving(); }));
  rig.panel.removeMonitors();
  rig.panel.slideOut([&rig] { rig.panel.orderOut(); });
  ASSERT_TRUE(test::runUntil([&] { return !rig.panel.isMoving() && !rig.panel.window()->isVisible(); }));
  test::spin(2 * PanelRig::kTimings.fade);
  EXPECT_EQ(trace.events, strings({"visible=0 sliding=1"})) << "no placement on the new screen, no reveal";
  EXPECT_FALSE(rig.panel.window()->isVisible());
}

TEST_F(UploadPanelTest, TheInputRegionIsTheBarOnly) {
  for (const PanelEdge edge : kAllPanelEdges) {
    PanelRig rig(edge);
    ASSERT_TRUE(rig.showAndSettle());
    const UploadPanelView* view = rig.panel.view();
    const QRect bar = view->barRect().translated(view->mapTo(rig.panel.window(), QPoint(0, 0)));
    EXPECT_EQ(rig.panel.window()->inputRegion(), QRegion(bar)) << rawValue(edge).toStdString();
    // The bar keeps 16 points of the visible frame between itself and the screen edge.
    const QRect onScreen = bar.translated(rig.panel.window()->pos());
    const QRect visible = screenNamed(QStringLiteral("left"))->availableGeometry();
    const int gap = edge == PanelEdge::left    ? onScreen.left() - visible.left()
                    : edge == PanelEdge::right ? visible.right() - onScreen.right()
                                               : onScreen.top() - visible.top();
    EXPECT_EQ(gap, 16) << rawValue(edge).toStdString();
  }
}

TEST_F(UploadPanelTest, ScreenshotsOfThePanelAtEachEdge) {
  for (const PanelEdge edge : kAllPanelEdges) {
    PanelRig rig(edge);
    ASSERT_TRUE(rig.showAndSettle());
    // Over a mid-grey desktop, so the translucent bar shows as it would; the part of the window beyond
    // the screen's edge is darker.
    const QPixmap window = rig.panel.window()->grab();
    QImage shot(window.size(), QImage::Format_ARGB32_Premultiplied);
    shot.fill(QColor(120, 124, 130));
    QPainter painter(&shot);
    const QRect screen =
        screenNamed(QStringLiteral("left"))->geometry().translated(-rig.panel.window()->pos());
    painter.setClipRegion(QRegion(shot.rect()).subtracted(QRegion(screen)));
    painter.fillRect(shot.rect(), QColor(40, 40, 44));
    painter.setClipping(false);
    painter.drawPixmap(0, 0, window);
    painter.end();
    const QString file = test::artifactsDirectory() + QStringLiteral("/panel-%1.png").arg(rawValue(edge));
    EXPECT_TRUE(shot.save(file)) << file.toStdString();
  }
}

}  // namespace
}  // namespace pm
