#include <QGraphicsOpacityEffect>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include "panel/StripFadeEffect.h"

namespace pm {
namespace {

bool isRed(QRgb pixel) { return qRed(pixel) > 150 && qGreen(pixel) < 80 && qBlue(pixel) < 80; }

// The strip inside the panel's content as it slides in: the content fades through an opacity effect of
// its own, so the strip's effect draws inside another one.
struct SlidingPanel {
  SlidingPanel() {
    window.resize(500, 300);
    window.setAutoFillBackground(true);
    window.setPalette(QPalette(Qt::gray));
    content->setGeometry(window.rect());
    auto* fading = new QGraphicsOpacityEffect(content);
    fading->setOpacity(0.99);
    content->setGraphicsEffect(fading);
    strip->setGeometry(QRect(kStripAt, QSize(100, 40)));
    strip->setAutoFillBackground(true);
    strip->setPalette(QPalette(Qt::red));
    strip->setGraphicsEffect(fade);
  }

  static constexpr QPoint kStripAt{150, 70};
  QWidget window;
  QWidget* content = new QWidget(&window);
  QWidget* strip = new QWidget(content);
  StripFadeEffect* fade = new StripFadeEffect(strip);
};

TEST(StripFadeEffect, DrawsTheStripInPlaceInsideAFadingPanel) {
  const struct {
    ScrollEdges edges;
    const char* what;
  } rows[] = {
      {{false, false}, "nothing beyond either end"},
      {{true, false}, "tiles beyond the start"},
      {{false, true}, "tiles beyond the end"},
  };
  for (const auto& row : rows) {
    SlidingPanel panel;
    panel.fade->setFade(row.edges, PanelEdge::top);
    const QImage shown = panel.window.grab().toImage();
    const QPoint middle = SlidingPanel::kStripAt + QPoint(50, 20);
    EXPECT_TRUE(isRed(shown.pixel(middle))) << row.what;
    // Where a strip offset twice (once by its own effect, once by the panel's) would land.
    EXPECT_FALSE(isRed(shown.pixel(middle + SlidingPanel::kStripAt))) << row.what;
  }
}

}  // namespace
}  // namespace pm
