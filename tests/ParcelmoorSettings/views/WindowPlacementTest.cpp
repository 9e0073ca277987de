#include <gtest/gtest.h>

#include <QScreen>
#include <QWidget>

#include "support/TestSupport.h"
#include "views/WindowPlacement.h"

namespace pm::settings {
namespace {

TEST(WindowPlacementTest, OpensAtItsPreferredSizeCentredAndWhollyOnTheScreen) {
  struct Case {
    const char* name;
    QSize minimum;
    QRect available;
    QRect placed;
  };
  const QSize preferred(700, 550);
  const Case cases[] = {
      {"a large screen", QSize(400, 300), QRect(0, 0, 1920, 1040), QRect(610, 245, 700, 550)},
      {"larger text asks for more", QSize(760, 620), QRect(0, 0, 1920, 1040), QRect(580, 210, 760, 620)},
      {"a small screen", QSize(400, 300), QRect(0, 0, 1280, 690), QRect(290, 70, 700, 550)},
      {"a screen smaller than the window", QSize(400, 300), QRect(0, 0, 640, 330), QRect(0, 0, 640, 330)},
      {"content larger than the screen", QSize(900, 800), QRect(0, 0, 1280, 690), QRect(190, 0, 900, 690)},
      {"a second screen beside the first", QSize(400, 300), QRect(1920, 30, 1280, 690), QRect(2210, 100, 700, 550)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QRect placed = windowPlacement(preferred, c.minimum, c.available);
    EXPECT_EQ(placed, c.placed);
    EXPECT_TRUE(c.available.contains(placed));
  }
}

TEST(WindowPlacementTest, TheWholeFrameStaysOnTheScreen) {
  struct Case {
    const char* name;
    QSize minimum;
    QRect available;
    QMargins frame;
    QRect content;
  };
  const QSize preferred(700, 550);
  // A title bar of 29 and borders of 1, as a window manager puts around the content.
  const QMargins frame(1, 29, 1, 1);
  const Case cases[] = {
      // 1280 × 720 at 120 dots per inch: 1024 × 576 points, less a panel.
      {"a screen shorter than content and title bar", QSize(400, 300), QRect(0, 0, 1024, 576), frame,
       QRect(162, 29, 700, 546)},
      {"a screen with room for both", QSize(400, 300), QRect(0, 0, 1920, 1040), frame,
       QRect(610, 259, 700, 550)},
      {"content larger than the screen", QSize(900, 800), QRect(0, 24, 1024, 552), frame,
       QRect(62, 53, 900, 522)},
      {"no frame", QSize(400, 300), QRect(0, 0, 1024, 576), QMargins(), QRect(162, 13, 700, 550)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QRect content = windowPlacement(preferred, c.minimum, c.available, c.frame);
    EXPECT_EQ(content, c.content);
    EXPECT_TRUE(c.available.contains(content.marginsAdded(c.frame)));
  }
}

// The frame comes from the window manager once the window is shown (here the off-screen platform's thin
// frame): a window placed for the whole free height is placed again so that its frame fits.
TEST(WindowPlacementTest, AWindowIsFittedToTheScreenOnceItsFrameIsKnown) {
  QWidget window;
  const QRect available = window.screen()->availableGeometry();
  placeWindow(window, QSize(400, available.height() + 200));
  window.show();
  ASSERT_TRUE(
      pm::test::runUntil([&] { return window.isVisible() && window.frameGeometry() != window.geometry(); }))
      << "the platform frames the window";
  EXPECT_TRUE(pm::test::runUntil([&] { return available.contains(window.frameGeometry()); }))
      << "frame " << window.frameGeometry().y() << "+" << window.frameGeometry().height() << " on "
      << available.y() << "+" << available.height();
  EXPECT_EQ(window.frameGeometry().height(), available.height());
}

}  // namespace
}  // namespace pm::settings
