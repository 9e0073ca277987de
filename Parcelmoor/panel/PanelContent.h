#pragma once

#include <QEasingCurve>
#include <QMargins>
#include <QPoint>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <chrono>

#include "core/PanelEdge.h"

class QGraphicsOpacityEffect;

namespace pm {

class PanelPresentation;

// The panel's whole content, slid and faded in and out at the panel's edge as the presentation says: the
// window itself never moves to show or hide. Pads the content on the edge side, so that the slide starts
// inside the window. A change of `visible` animates (ease-out over `duration`); a change of `sliding` or
// of the edge alone takes effect at once.
class PanelContent final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kEdgePadding = 28;
  static constexpr int kSlideDistance = 28;
  static constexpr std::chrono::milliseconds kDuration{220};

  // Where the content rests for a presentation state: its offset from the padded position and opacity.
  struct Placement {
    QPointF offset;
    double opacity = 0;
    bool operator==(const Placement&) const = default;
  };
  static Placement placement(bool visible, bool sliding, PanelEdge edge);
  // The room kept free on the side of the panel's edge.
  static QMargins padding(PanelEdge edge);
  // The platform's standard ease-out: a cubic Bézier through (0.58, 1).
  static QEasingCurve easeOut();

  // Takes `content` as its child. `presentation` must outlive this widget.
  PanelContent(PanelPresentation& presentation, QWidget* content,
               std::chrono::milliseconds duration = kDuration, QWidget* parent = nullptr);

  QWidget* content() const { return content_; }
  // What is drawn now, mid-animation included.
  const Placement& shown() const { return shown_; }
  bool isAnimating() const { return animation_.state() == QAbstractAnimation::Running; }

 Q_SIGNALS:
  // The content moved inside this widget (the input region follows it).
  void contentMoved();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  Placement target() const;
  void onVisibleChanged();
  void onPlacementChanged();
  void applyPlacement(const Placement& placement);

  PanelPresentation& presentation_;
  QPointer<QWidget> content_;
  QGraphicsOpacityEffect* opacity_;
  QVariantAnimation animation_;
  Placement from_;
  Placement to_;
  Placement shown_;
};

}  // namespace pm
