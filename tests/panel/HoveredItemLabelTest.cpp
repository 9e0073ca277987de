#include <gtest/gtest.h>

#include "panel/HoveredItemLabel.h"
#include "panel/HoveredItemOverlay.h"
#include "tests/panel/TileTesting.h"

namespace pm {
namespace {

TEST(HoveredItemLabelTest, PercentagesRoundHalvesAwayFromZero) {
  const std::pair<double, const char*> cases[] = {
      {0.004, "0%"}, {0.125, "13%"}, {0.5, "50%"}, {0.994, "99%"}, {0.995, "100%"}, {1.0, "100%"}, {0.0, "0%"}};
  for (const auto& [fraction, text] : cases) {
    EXPECT_EQ(HoveredItemLabel::percentText(fraction), QString::fromLatin1(text)) << fraction;
  }
}

TEST(HoveredItemLabelTest, TheLabelSitsBesideTheTileOnTheInwardSide) {
  const QSizeF overlay(384, 500);
  const QSizeF label(120, 26);
  const HoveredItem item{QStringLiteral("a.txt"), std::nullopt, 200, 150};
  const std::pair<PanelEdge, QRectF> cases[] = {
      {PanelEdge::left, QRectF(106, 137, 120, 26)},
      {PanelEdge::top, QRectF(200 - 120 + (240 - 120) / 2.0, 106, 120, 26)},
      {PanelEdge::right, QRectF(384 - 106 - 120, 137, 120, 26)},
  };
  for (const auto& [edge, frame] : cases) {
    EXPECT_EQ(hoveredItemLabelFrame(item, edge, overlay, label), frame) << rawValue(edge).toStdString();
  }
}

TEST(HoveredItemLabelTest, ALongNameLosesItsMiddleAndKeepsItsExtension) {
  HoveredItemLabel label;
  const QString name = QStringLiteral("Quarterly report of the northern region with every appendix attached.pdf");
  label.setItem({name, std::nullopt, 0, 0});
  EXPECT_LE(label.sizeHint().width(), HoveredItemLabel::kMaximumWidth);
  EXPECT_GT(label.sizeHint().width(), HoveredItemLabel::kMaximumWidth - 20) << "the name uses the room there is";
  EXPECT_EQ(label.sizeHint().height(), HoveredItemLabel::kHeight);
  EXPECT_TRUE(label.shownName().endsWith(QLatin1String(".pdf"))) << label.shownName().toStdString();
  EXPECT_TRUE(label.shownName().startsWith(QLatin1String("Quarterly")));
  EXPECT_TRUE(label.shownName().contains(QChar(0x2026)));

  label.setItem({QStringLiteral("a.txt"), std::nullopt, 0, 0});
  EXPECT_EQ(label.shownName(), QStringLiteral("a.txt"));
  EXPECT_LT(label.sizeHint().width(), HoveredItemLabel::kMaximumWidth) << "as wide as its text";
}

TEST(HoveredItemLabelTest, AChangingPercentageFadesOverAQuarterSecond) {
  HoveredItemLabel settled;
  settled.setItem({QStringLiteral("a.txt"), 0.5, 0, 0});
  const QImage target = settled.grab().toImage();

  HoveredItemLabel changing;
  changing.setItem({QStringLiteral("a.txt"), 0.4, 0, 0});
  changing.setItem({QStringLiteral("a.txt"), 0.5, 0, 0});
  EXPECT_NE(changing.grab().toImage(), target) << "the old percentage is still fading out";
  ASSERT_TRUE(test::runUntil([&] { return changing.grab().toImage() == target; }, std::chrono::seconds(2)));
}

TEST(HoveredItemLabelTest, ReportsCombineWithoutBeingErasedByQuietTiles) {
  auto value = HoveredItemKey::defaultValue();
  const HoveredItem first{QStringLiteral("a"), std::nullopt, 1, 1};
  const HoveredItem second{QStringLiteral("b"), 0.5, 2, 2};
  HoveredItemKey::reduce(value, first);
  HoveredItemKey::reduce(value, std::nullopt);
  EXPECT_EQ(value, first);
  HoveredItemKey::reduce(value, second);
  EXPECT_EQ(value, second);
}

TEST(HoveredItemLabelTest, ScreenshotsOfTheOverlayOnEachEdge) {
  const std::pair<PanelEdge, QSize> edges[] = {
      {PanelEdge::left, QSize(384, 200)}, {PanelEdge::top, QSize(400, 160)}, {PanelEdge::right, QSize(384, 200)}};
  for (const auto& [edge, size] : edges) {
    QWidget ground;
    ground.setPalette(test::barPalette());
    ground.setAutoFillBackground(true);
    ground.resize(size);
    HoveredItemOverlay overlay(&ground);
    overlay.resize(size);
    const HoveredItem item{QStringLiteral("Holiday pictures from the long summer by the sea, part two.zip"), 0.4,
                           200, 60};
    overlay.setHoveredItem(item, edge);
    ground.show();
    const QRect frame = overlay.label().geometry();
    EXPECT_EQ(frame, hoveredItemLabelFrame(item, edge, QSizeF(size), QSizeF(overlay.label().sizeHint())).toRect());
    test::saveScreenshot(ground, QStringLiteral("hover-label-") + rawValue(edge));
    overlay.setHoveredItem(std::nullopt, edge);
    EXPECT_FALSE(overlay.label().isVisibleTo(&overlay));
  }
}

}  // namespace
}  // namespace pm
