#include <gtest/gtest.h>

#include "panel/PanelContent.h"
#include "panel/PanelPresentation.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using Placement = PanelContent::Placement;

struct PlacementRow {
  bool visible;
  bool sliding;
  PanelEdge edge;
  Placement expected;
};

TEST(PanelContent, RestsWhereThePresentationSays) {
  const PlacementRow rows[] = {
      // Shown: in place and opaque, at every edge, sliding or not.
      {true, false, PanelEdge::left, {QPointF(0, 0), 1}},
      {true, true, PanelEdge::left, {QPointF(0, 0), 1}},
      {true, true, PanelEdge::top, {QPointF(0, 0), 1}},
      {true, true, PanelEdge::right, {QPointF(0, 0), 1}},
      // Hidden by a slide: 28 points towards the screen edge.
      {false, true, PanelEdge::left, {QPointF(-28, 0), 0}},
      {false, true, PanelEdge::top, {QPointF(0, -28), 0}},
      {false, true, PanelEdge::right, {QPointF(28, 0), 0}},
      // Hidden without a slide: faded out in place.
      {false, false, PanelEdge::left, {QPointF(0, 0), 0}},
      {false, false, PanelEdge::top, {QPointF(0, 0), 0}},
      {false, false, PanelEdge::right, {QPointF(0, 0), 0}},
  };
  for (const PlacementRow& row : rows) {
    const Placement placement = PanelContent::placement(row.visible, row.sliding, row.edge);
    EXPECT_EQ(placement.offset, row.expected.offset)
        << rawValue(row.edge).toStdString() << " visible " << row.visible << " sliding " << row.sliding;
    EXPECT_EQ(placement.opacity, row.expected.opacity)
        << rawValue(row.edge).toStdString() << " visible " << row.visible << " sliding " << row.sliding;
  }
}

TEST(PanelContent, EasesOut) {
  const QEasingCurve curve = PanelContent::easeOut();
  EXPECT_DOUBLE_EQ(curve.valueForProgress(0.0), 0.0);
  EXPECT_NEAR(curve.valueForProgress(0.5), 0.69, 0.02) << "more than half way at half time";
  EXPECT_DOUBLE_EQ(curve.valueForProgress(1.0), 1.0);
  EXPECT_EQ(PanelContent::kDuration, 220ms);
}

TEST(PanelContent, PadsTheSideOfThePanelsEdge) {
  EXPECT_EQ(PanelContent::padding(PanelEdge::left), QMargins(28, 0, 0, 0));
  EXPECT_EQ(PanelContent::padding(PanelEdge::top), QMargins(0, 28, 0, 0));
  EXPECT_EQ(PanelContent::padding(PanelEdge::right), QMargins(0, 0, 28, 0));
}

class PanelContentMotion : public ::testing::Test {
 protected:
  PanelContentMotion() : content(presentation, new QWidget, 400ms) { content.resize(384, 506); }

  bool settled() {
    return test::runUntil([this] { return !content.isAnimating(); });
  }

  PanelPresentation presentation;
  PanelContent content;
};

TEST_F(PanelContentMotion, SlidesInFromTheEdgeOverTheDurationAndOutAgain) {
  presentation.setEdge(PanelEdge::top);
  presentation.setSliding(true);
  EXPECT_FALSE(content.isAnimating()) << "a change of sliding alone is not animated";
  EXPECT_EQ(content.content()->geometry(), QRect(0, 28 - 28, 384, 506 - 28));

  presentation.setVisible(true);
  EXPECT_TRUE(content.isAnimating());
  ASSERT_TRUE(test::runUntil([this] { return content.shown().opacity > 0.0; }));
  const Placement underway = content.shown();
  EXPECT_LT(underway.opacity, 1.0);
  EXPECT_LT(underway.offset.y(), 0.0);
  EXPECT_GT(underway.offset.y(), -28.0);
  ASSERT_TRUE(settled());
  EXPECT_EQ(content.shown(), (Placement{QPointF(0, 0), 1.0}));
  EXPECT_EQ(content.content()->geometry(), QRect(0, 28, 384, 506 - 28));

  presentation.setVisible(false);
  ASSERT_TRUE(settled());
  EXPECT_EQ(content.shown(), (Placement{QPointF(0, -28), 0.0}));
}

TEST_F(PanelContentMotion, AnEdgeChangeWhileHiddenMovesThePaddingAtOnce) {
  presentation.setEdge(PanelEdge::right);
  EXPECT_FALSE(content.isAnimating());
  EXPECT_EQ(content.content()->geometry(), QRect(0, 0, 384 - 28, 506));
}

}  // namespace
}  // namespace pm
