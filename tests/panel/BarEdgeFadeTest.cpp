#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "panel/BarEdgeFade.h"

namespace pm {
namespace {

struct StopsRow {
  ScrollEdges edges;
  int startAlpha;
  int endAlpha;
};

TEST(BarEdgeFade, FadesExactlyTheEndsWithTilesBeyondThem) {
  const StopsRow rows[] = {
      {{false, false}, 255, 255},
      {{true, false}, 0, 255},
      {{false, true}, 255, 0},
      {{true, true}, 0, 0},
  };
  for (const StopsRow& row : rows) {
    const QGradientStops stops = BarEdgeFade(row.edges, PanelEdge::left).stops();
    ASSERT_EQ(stops.size(), 4);
    EXPECT_EQ(stops[0].first, 0.0);
    EXPECT_EQ(stops[1].first, 0.08);
    EXPECT_EQ(stops[2].first, 0.92);
    EXPECT_EQ(stops[3].first, 1.0);
    EXPECT_EQ(stops[0].second.alpha(), row.startAlpha)
        << "start " << row.edges.start << " end " << row.edges.end;
    EXPECT_EQ(stops[1].second.alpha(), 255);
    EXPECT_EQ(stops[2].second.alpha(), 255);
    EXPECT_EQ(stops[3].second.alpha(), row.endAlpha)
        << "start " << row.edges.start << " end " << row.edges.end;
  }
}

TEST(BarEdgeFade, RunsAlongTheStrip) {
  const QRectF strip(10, 20, 300, 80);
  const QLinearGradient across = BarEdgeFade({}, PanelEdge::top).gradient(strip);
  EXPECT_EQ(across.start(), QPointF(10, 20));
  EXPECT_EQ(across.finalStop(), QPointF(310, 20));
  for (const PanelEdge edge : {PanelEdge::left, PanelEdge::right}) {
    const QLinearGradient down = BarEdgeFade({}, edge).gradient(strip);
    EXPECT_EQ(down.start(), QPointF(10, 20));
    EXPECT_EQ(down.finalStop(), QPointF(10, 100));
  }
}

TEST(BarEdgeFade, AsAMaskKeepsTheMiddleAndHidesAFadedEnd) {
  QImage strip(100, 10, QImage::Format_ARGB32_Premultiplied);
  strip.fill(Qt::white);
  QPainter painter(&strip);
  BarEdgeFade({false, true}, PanelEdge::top).mask(painter, QRectF(strip.rect()));
  painter.end();
  EXPECT_EQ(qAlpha(strip.pixel(0, 5)), 255) << "the start has nothing beyond it";
  EXPECT_EQ(qAlpha(strip.pixel(50, 5)), 255);
  EXPECT_LT(qAlpha(strip.pixel(99, 5)), 20);
}

}  // namespace
}  // namespace pm
