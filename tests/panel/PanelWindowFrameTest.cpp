#include <gtest/gtest.h>

#include "panel/PanelWindowFrame.h"

namespace pm {
namespace {

struct FrameRow {
  const char* screen;
  QRect available;
  PanelEdge edge;
  QRect expected;
};

// Worked out by hand. A 1920 × 1080 screen with a 30-point bar at its top: the left and right edges are
// 1050 long, half of that holds 7 tiles, so the panel is 7·60 + 6·5 + 20 + 36 = 506 long, centred on
// y = 30 + 525; the top edge holds 14 tiles (961 long, centred on x = 960, the half point rounding up).
// A 200 × 150 screen holds fewer than two tiles, so two it is: 181 long. The window is 384 thick and
// reaches 30 beyond the visible frame at its edge.
const FrameRow kRows[] = {
    {"1920x1080 with a top bar", QRect(0, 30, 1920, 1050), PanelEdge::left, QRect(-30, 302, 384, 506)},
    {"1920x1080 with a top bar", QRect(0, 30, 1920, 1050), PanelEdge::right, QRect(1566, 302, 384, 506)},
    {"1920x1080 with a top bar", QRect(0, 30, 1920, 1050), PanelEdge::top, QRect(480, 0, 961, 384)},
    {"200x150", QRect(0, 0, 200, 150), PanelEdge::left, QRect(-30, -15, 384, 181)},
    {"200x150", QRect(0, 0, 200, 150), PanelEdge::right, QRect(-154, -15, 384, 181)},
    {"200x150", QRect(0, 0, 200, 150), PanelEdge::top, QRect(10, -30, 181, 384)},
    // A second screen to the right of the first: 1024 high holds 7 tiles; centred on y = 512.
    {"1280x1024 right of the first", QRect(1920, 0, 1280, 1024), PanelEdge::left, QRect(1890, 259, 384, 506)},
};

TEST(PanelWindowFrame, PlacesTheStripAtEachEdgeInTopLeftCoordinates) {
  for (const FrameRow& row : kRows) {
    EXPECT_EQ(panelWindowFrame(row.edge, row.available), row.expected)
        << row.screen << ", " << rawValue(row.edge).toStdString();
  }
}

TEST(PanelWindowFrame, ReachesThirtyPointsBeyondTheVisibleFrameAtItsEdge) {
  const QRect available(2000, 40, 1600, 1160);
  EXPECT_EQ(panelWindowFrame(PanelEdge::left, available).left(), available.left() - 30);
  EXPECT_EQ(panelWindowFrame(PanelEdge::right, available).right(), available.right() + 30);
  EXPECT_EQ(panelWindowFrame(PanelEdge::top, available).top(), available.top() - 30);
}

}  // namespace
}  // namespace pm
