#include <QTest>

#include <gtest/gtest.h>

#include "panel/TileClicks.h"

namespace pm {
namespace {

struct Click {
  int count;
  Qt::KeyboardModifiers modifiers;
  bool operator==(const Click&) const = default;
};

TEST(TileClicks, ReportsEveryPressWithItsCountAndModifiers) {
  QList<Click> clicks;
  TileClicks catcher([&](int count, Qt::KeyboardModifiers modifiers) { clicks.append({count, modifiers}); });
  catcher.resize(60, 60);
  const QPoint middle(30, 30);

  QTest::mousePress(&catcher, Qt::LeftButton, Qt::ShiftModifier, middle);
  QTest::mouseRelease(&catcher, Qt::LeftButton, Qt::ShiftModifier, middle);
  // A double click as Qt delivers it: press, release, double-click, release; then a third press.
  QTest::mousePress(&catcher, Qt::LeftButton, Qt::ControlModifier, middle);
  QTest::mouseRelease(&catcher, Qt::LeftButton, Qt::ControlModifier, middle);
  QTest::mouseDClick(&catcher, Qt::LeftButton, Qt::ControlModifier, middle);
  QTest::mouseRelease(&catcher, Qt::LeftButton, Qt::ControlModifier, middle);
  QTest::mousePress(&catcher, Qt::LeftButton, Qt::NoModifier, middle);
  QTest::mouseRelease(&catcher, Qt::LeftButton, Qt::NoModifier, middle);

  const QList<Click> expected{
      {1, Qt::ShiftModifier}, {1, Qt::ControlModifier}, {2, Qt::ControlModifier}, {1, Qt::NoModifier}};
  ASSERT_EQ(clicks.size(), expected.size());
  for (qsizetype i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(clicks[i].count, expected[i].count) << "click " << i;
    EXPECT_EQ(clicks[i].modifiers, expected[i].modifiers) << "click " << i;
  }
}

TEST(TileClicks, LeavesOtherButtonsToTheTile) {
  int clicks = 0;
  TileClicks catcher([&](int, Qt::KeyboardModifiers) { ++clicks; });
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::RightButton, Qt::RightButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(&catcher, &press);
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(press.isAccepted()) << "the press goes on to the tile underneath";
}

}  // namespace
}  // namespace pm
