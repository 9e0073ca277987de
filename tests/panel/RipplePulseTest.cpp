#include <QImage>

#include <gtest/gtest.h>

#include "panel/RipplePulse.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

TEST(RipplePulse, NeverActiveShowsNothingAndRunsNoFrames) {
  test::ManualClock clock;
  RipplePulse pulse(clock);
  EXPECT_FALSE(pulse.isAnimating());
  clock.advance(2s);
  EXPECT_EQ(pulse.rippleLevel(clock.steadyNow()), 0.0);
}

TEST(RipplePulse, FadesInWhileActiveAndOutAfterwards) {
  test::ManualClock clock;
  RipplePulse pulse(clock);
  const auto on = clock.steadyNow();
  pulse.setActive(true);
  EXPECT_TRUE(pulse.isAnimating());
  const struct {
    int afterMs;
    double level;
  } fadingIn[] = {{0, 0.0}, {225, 0.5}, {450, 1.0}, {3000, 1.0}};
  for (const auto& row : fadingIn) {
    EXPECT_DOUBLE_EQ(pulse.rippleLevel(on + std::chrono::milliseconds(row.afterMs)), row.level)
        << "in, " << row.afterMs << " ms";
  }

  clock.advance(3s);
  const auto off = clock.steadyNow();
  pulse.setActive(false);
  EXPECT_TRUE(pulse.isAnimating()) << "frames run while it fades out";
  const struct {
    int afterMs;
    double level;
  } fadingOut[] = {{0, 1.0}, {225, 0.5}, {450, 0.0}};
  for (const auto& row : fadingOut) {
    EXPECT_DOUBLE_EQ(pulse.rippleLevel(off + std::chrono::milliseconds(row.afterMs)), row.level)
        << "out, " << row.afterMs << " ms";
  }
}

TEST(RipplePulse, OffThenOnWithinTheFadeRestartsTheFadeInFromNothing) {
  test::ManualClock clock;
  RipplePulse pulse(clock, nullptr, 60ms);
  pulse.setActive(true);
  clock.advance(1s);
  pulse.setActive(false);
  clock.advance(20ms);
  pulse.setActive(true);
  EXPECT_EQ(pulse.rippleLevel(clock.steadyNow()), 0.0);
  EXPECT_DOUBLE_EQ(pulse.rippleLevel(clock.steadyNow() + 30ms), 0.5);
  test::spin(120ms);  // the end of the earlier fade-out passes
  EXPECT_TRUE(pulse.isAnimating());
  EXPECT_DOUBLE_EQ(pulse.rippleLevel(clock.steadyNow() + 60ms), 1.0);
}

TEST(RipplePulse, StopsItsFramesOnceFadedOutAndDrawsAtMostThirtyASecond) {
  EXPECT_GE(RipplePulse::kFrameInterval, 1000ms / 30);
  test::ManualClock clock;
  RipplePulse pulse(clock, nullptr, 40ms);
  pulse.resize(60, 60);
  pulse.setActive(true);
  clock.advance(300ms);
  // Over a dark tile, as it lies in the bar.
  QImage shot(60, 60, QImage::Format_ARGB32_Premultiplied);
  shot.fill(QColor(50, 52, 58));
  pulse.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
  EXPECT_TRUE(shot.save(test::artifactsDirectory() + QStringLiteral("/ripple-pulse.png")));
  pulse.setActive(false);
  ASSERT_TRUE(test::runUntil([&] { return !pulse.isAnimating(); }));
  EXPECT_EQ(pulse.rippleLevel(clock.steadyNow() + 1s), 0.0);
}

TEST(RipplePulse, AWallClockSetBackLeavesTheFadeOnTime) {
  test::ManualClock clock;
  RipplePulse pulse(clock);
  pulse.setActive(true);
  // The system's time corrected an hour back as the pulse fades in.
  clock.set(clock.now().addSecs(-3600));
  clock.advance(RipplePulse::kFade);
  EXPECT_DOUBLE_EQ(pulse.rippleLevel(clock.steadyNow()), 1.0) << "fully in";
}

}  // namespace
}  // namespace pm
