#include "PanelPresentation.h"

namespace pm {

void PanelPresentation::setVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Q_EMIT visibleChanged();
}

void PanelPresentation::setSliding(bool sliding) {
  if (sliding_ == sliding) return;
  sliding_ = sliding;
  Q_EMIT slidingChanged();
}

void PanelPresentation::setEdge(PanelEdge edge) {
  if (edge_ == edge) return;
  edge_ = edge;
  Q_EMIT edgeChanged();
}

}  // namespace pm
