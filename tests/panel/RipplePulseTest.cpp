#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

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

// Drawn into a tile, the pulse is never shown: the tile's frames redraw it, and a timer of its own would
// only wake the program thirty times a second per tile for nothing.
TEST(RipplePulse, RunsFramesOfItsOwnOnlyWhileShown) {
  test::ManualClock clock;
  RipplePulse pulse(clock);
  pulse.resize(60, 60);
  pulse.setActive(true);
  EXPECT_TRUE(pulse.isAnimating());
  EXPECT_FALSE(pulse.runsFrames());
  pulse.show();
  EXPECT_TRUE(pulse.runsFrames());
  pulse.hide();
  EXPECT_FALSE(pulse.runsFrames());
}

// The rings as they were stroked on every frame: the reference the kept pictures are held to.
QImage strokedRings(double elapsedSeconds, double level) {
  QImage image(60, 60, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(50, 52, 58));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath clip;
  clip.addRoundedRect(QRectF(0, 0, 60, 60), RipplePulse::kCornerRadius, RipplePulse::kCornerRadius);
  painter.setClipPath(clip);
  const double reach = std::hypot(60.0, 60.0) / 2.0;
  for (int ring = 0; ring < 3; ++ring) {
    const double phase = std::fmod(elapsedSeconds / 1.6 + ring / 3.0, 1.0);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, float(level * (1.0 - phase) * 0.55)), 2.0));
    painter.drawEllipse(QPointF(30, 30), reach * phase, reach * phase);
  }
  return image;
}

// The mean difference of the colour channels of two pictures of one size, in levels of 0 to 255.
double meanDifference(const QImage& a, const QImage& b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  }
  return sum / (3.0 * a.width() * a.height());
}

TEST(RipplePulse, KeptPicturesLookLikeTheRingsStrokedWithinAFrameOfNow) {
  test::ManualClock clock;
  RipplePulse pulse(clock, nullptr, 400ms);
  pulse.setActive(true);
  const struct {
    qint64 afterMs;
    double level;
  } moments[] = {{200, 0.5}, {400, 1.0}, {733, 1.0}, {1187, 1.0}, {2950, 1.0}};
  qint64 now = 0;
  for (const auto& moment : moments) {
    clock.advance(std::chrono::milliseconds(moment.afterMs - now));
    now = moment.afterMs;
    QImage drawn(60, 60, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(QColor(50, 52, 58));
    QPainter painter(&drawn);
    pulse.paint(painter, QRectF(0, 0, 60, 60));
    painter.end();
    QImage plain(60, 60, QImage::Format_ARGB32_Premultiplied);
    plain.fill(QColor(50, 52, 58));
    EXPECT_GT(meanDifference(drawn, plain), 1.0) << moment.afterMs << " ms";
    // What shows is the rings as stroked at a moment of the last frame's time (a frame lasts 34 ms).
    double closest = 255;
    for (qint64 back = 0; back <= 20; ++back) {
      const QImage stroked = strokedRings(double(moment.afterMs - back) / 1000.0, moment.level);
      closest = std::min(closest, meanDifference(drawn, stroked));
    }
    EXPECT_LT(closest, 0.1) << moment.afterMs << " ms";
  }
}

}  // namespace
}  // namespace pm
