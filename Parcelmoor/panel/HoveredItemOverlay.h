#pragma once

#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <optional>

#include "core/PanelEdge.h"
#include "panel/HoveredItem.h"

namespace pm {

class HoveredItemLabel;

// Where the label of a hovered tile goes inside the overlay, in the overlay's coordinates (origin top
// left, the same space as the tile midpoints): 106 points in from the panel's screen edge, on the side
// facing into the screen, centred on the tile along the bar.
QRectF hoveredItemLabelFrame(const HoveredItem& item, PanelEdge edge, const QSizeF& overlay, const QSizeF& label);

// Lies over the bar and shows the label beside the hovered tile. Takes no clicks, and jumps with the
// pointer from tile to tile instead of sliding.
class HoveredItemOverlay final : public QWidget {
  Q_OBJECT

 public:
  explicit HoveredItemOverlay(QWidget* parent = nullptr);

  void setHoveredItem(const std::optional<HoveredItem>& item, PanelEdge edge);
  HoveredItemLabel& label() const { return *label_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void place();

  HoveredItemLabel* label_;
  std::optional<HoveredItem> item_;
  PanelEdge edge_ = PanelEdge::left;
};

}  // namespace pm
