#include <QImage>

#include <gtest/gtest.h>

#include "panel/RevealThumbnail.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// Blue above, with a column of orange in the middle that the streak drags down.
QPixmap picture() {
  QImage image(60, 60, QImage::Format_RGB32);
  image.fill(QColor(40, 120, 200));
  for (int y = 0; y < 60; ++y) {
    for (int x = 20; x < 40; ++x) image.setPixelColor(x, y, QColor(240, 150, 40));
  }
  return QPixmap::fromImage(image);
}

TEST(RevealThumbnail, EasesOutOverItsDuration) {
  test::ManualClock clock;
  const QDateTime start = clock.now();
  RevealThumbnail reveal(clock, picture(), {start, 60, 1100ms, {}, false});
  const struct {
    qint64 afterMs;
    double eased;
  } rows[] = {
      // A start still ahead has not begun.
      {-500, 0.0},
      {0, 0.0},
      {275, 1.0 - 0.75 * 0.75 * 0.75},
      {550, 0.875},
      {1100, 1.0},
      {5000, 1.0},
  };
  for (const auto& row : rows) {
    EXPECT_DOUBLE_EQ(reveal.revealProgress(start.addMSecs(row.afterMs)), row.eased) << row.afterMs << " ms";
  }
}

TEST(RevealThumbnail, MadeFinishedShowsAtOnceRunsNoFramesAndNeverReports) {
  test::ManualClock clock;
  int finishes = 0;
  RevealThumbnail reveal(clock, picture(), {clock.now(), 60, 1100ms, [&] { ++finishes; }, true});
  EXPECT_FALSE(reveal.isAnimating());
  EXPECT_DOUBLE_EQ(reveal.revealProgress(clock.now()), 1.0);
  test::spin(30ms);
  EXPECT_EQ(finishes, 0);
}

TEST(RevealThumbnail, AStartLongPastFinishesOnTheFirstFrameAndReportsOnce) {
  test::ManualClock clock;
  int finishes = 0;
  RevealThumbnail reveal(clock, picture(), {clock.now().addSecs(-5), 60, 1100ms, [&] { ++finishes; }, false});
  EXPECT_EQ(finishes, 0) << "not while the tile is still making it";
  ASSERT_TRUE(test::runUntil([&] { return finishes > 0; }));
  test::spin(50ms);
  EXPECT_EQ(finishes, 1);
  EXPECT_TRUE(reveal.isFinished());
  EXPECT_FALSE(reveal.isAnimating());
}

TEST(RevealThumbnail, RunsFramesUntilTheRevealEndsThenStops) {
  test::ManualClock clock;
  int finishes = 0;
  RevealThumbnail reveal(clock, picture(), {clock.now(), 60, 1100ms, [&] { ++finishes; }, false});
  reveal.resize(60, 60);
  test::spin(40ms);
  EXPECT_TRUE(reveal.isAnimating());
  EXPECT_EQ(finishes, 0);
  clock.advance(200ms);
  const QImage halfway = reveal.grab().toImage();
  EXPECT_EQ(halfway.pixelColor(10, 5), QColor(40, 120, 200)) << "the top is revealed";
  EXPECT_NE(halfway.pixelColor(10, 55), QColor(40, 120, 200)) << "the bottom is still coming";
  EXPECT_TRUE(halfway.save(test::artifactsDirectory() + QStringLiteral("/reveal-thumbnail-halfway.png")));
  clock.advance(900ms);
  ASSERT_TRUE(test::runUntil([&] { return finishes == 1; }));
  EXPECT_FALSE(reveal.isAnimating());
}

}  // namespace
}  // namespace pm
