#pragma once

#include <QObject>

#include "core/PanelEdge.h"

namespace pm {

// What the panel's content needs to know of the window: whether it is shown, whether the change under
// way is a slide, and the edge it sits at. Owned by the UploadPanel; each signal fires only when its value
// really changed, so the content animates exactly once per change. Main thread only.
class PanelPresentation final : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  bool visible() const { return visible_; }
  bool sliding() const { return sliding_; }
  PanelEdge edge() const { return edge_; }

  void setVisible(bool visible);
  void setSliding(bool sliding);
  void setEdge(PanelEdge edge);

 Q_SIGNALS:
  void visibleChanged();
  void slidingChanged();
  void edgeChanged();

 private:
  bool visible_ = false;
  bool sliding_ = false;
  PanelEdge edge_ = PanelEdge::left;
};

}  // namespace pm
