#include "PanelEdge.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace pm {

namespace {

constexpr double kScreenMargin = 32;
constexpr double kTileLength = 60;
constexpr double kTileSpacing = 5;
constexpr double kBarPadding = 20;
constexpr double kBarControls = 36;
constexpr double kThickness = 384;
// The window reaches kOverhang − kInsetFromEdge points past the docked edge; the bar is drawn inside it.
constexpr double kInsetFromEdge = 16;
constexpr double kOverhang = 46;
constexpr double kMinimumTiles = 2;

// Indexed by the edge's declaration order.
constexpr const char* kRawValues[] = {"left", "top", "right"};
static_assert(std::size(kRawValues) == kAllPanelEdges.size());

// The panel's length along an edge of `edgeLength` points.
double panelLength(double edgeLength) {
  const double available = std::min(edgeLength - kScreenMargin, edgeLength * 0.5);
  const double tiles = std::max(
      std::trunc((available - kBarPadding + kTileSpacing) / (kTileLength + kTileSpacing)), kMinimumTiles);
  return tiles * kTileLength + (tiles - 1) * kTileSpacing + kBarPadding + kBarControls;
}

}  // namespace

QString rawValue(PanelEdge edge) {
  return QString::fromLatin1(kRawValues[std::size_t(edge)]);
}

PanelEdge panelEdgeFromStoredText(const std::optional<QString>& text) {
  if (text == QLatin1String("top")) return PanelEdge::top;
  if (text == QLatin1String("right")) return PanelEdge::right;
  return PanelEdge::left;
}

QRectF panelFrame(PanelEdge edge, const QRectF& visibleFrame) {
  const double minX = visibleFrame.x();
  const double maxX = visibleFrame.x() + visibleFrame.width();
  const double maxY = visibleFrame.y() + visibleFrame.height();
  const QPointF mid = visibleFrame.center();

  if (edge == PanelEdge::top) {
    const double length = panelLength(visibleFrame.width());
    return QRectF(mid.x() - length / 2, maxY - kInsetFromEdge + kOverhang - kThickness, length, kThickness);
  }
  const double length = panelLength(visibleFrame.height());
  const double x = edge == PanelEdge::right ? maxX - kInsetFromEdge + kOverhang - kThickness
                                            : minX + kInsetFromEdge - kOverhang;
  return QRectF(x, mid.y() - length / 2, kThickness, length);
}

}  // namespace pm
