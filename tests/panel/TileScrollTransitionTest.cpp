#include <gtest/gtest.h>

#include "panel/TileScrollTransition.h"

namespace pm {
namespace {

TEST(TileScrollTransition, PhaseAlongTheStrip) {
  struct Case {
    double tileStart;
    double expected;
  };
  // A 60-long tile against a visible part [100, 300).
  const Case cases[] = {
      {100, 0},    {240, 0},   {170, 0},  // wholly inside, touching either end
      {85, -0.25}, {70, -0.5}, {40, -1},  // leaving before the visible part
      {0, -1},     {-500, -1},            // further out stays at −1
      {255, 0.25}, {270, 0.5}, {300, 1},  // leaving after it
      {360, 1},    {900, 1},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(TileScrollTransition::phaseOf(c.tileStart, c.tileStart + 60, 100, 300), c.expected)
        << "tile at " << c.tileStart;
    // Rectangles read the axis they are told to and ignore the other.
    const QRectF horizontal(100, -1000, 200, 80);
    const QRectF vertical(-1000, 100, 80, 200);
    EXPECT_DOUBLE_EQ(
        TileScrollTransition::of(QRectF(c.tileStart, 10, 60, 60), horizontal, Qt::Horizontal).phase,
        c.expected);
    EXPECT_DOUBLE_EQ(TileScrollTransition::of(QRectF(10, c.tileStart, 60, 60), vertical, Qt::Vertical).phase,
                     c.expected);
  }
  EXPECT_EQ(TileScrollTransition::phaseOf(50, 50, 100, 300), 0) << "an empty tile has nowhere to go";
  EXPECT_DOUBLE_EQ(TileScrollTransition::phaseOf(80, 400, 100, 300), 100.0 / 320)
      << "longer than the view: the larger overhang decides";
}

TEST(TileScrollTransition, ScaleOpacityAndAnchor) {
  struct Case {
    double phase;
    Qt::Orientation axis;
    double scale;
    double opacity;
    QPointF anchor;  // in a 60 × 60 tile
  };
  const Case cases[] = {
      {0, Qt::Vertical, 1, 1, {30, 60}},
      {-1, Qt::Vertical, 0.78, 0.45, {30, 0}},       // top
      {0.5, Qt::Vertical, 0.89, 0.725, {30, 60}},    // bottom
      {-0.5, Qt::Horizontal, 0.89, 0.725, {0, 30}},  // leading
      {1, Qt::Horizontal, 0.78, 0.45, {60, 30}},     // trailing
  };
  for (const Case& c : cases) {
    const TileScrollTransition transition{c.phase, c.axis};
    EXPECT_DOUBLE_EQ(transition.scale(), c.scale) << c.phase;
    EXPECT_DOUBLE_EQ(transition.opacity(), c.opacity) << c.phase;
    EXPECT_EQ(transition.anchor(QSizeF(60, 60)), c.anchor) << c.phase;
    const QTransform transform = transition.transform(QSizeF(60, 60));
    EXPECT_EQ(transform.map(c.anchor), c.anchor) << "the anchor stays put";
    EXPECT_DOUBLE_EQ(transform.mapRect(QRectF(0, 0, 60, 60)).width(), 60 * c.scale);
  }
}

}  // namespace
}  // namespace pm
