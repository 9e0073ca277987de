#pragma once

#include <QObject>
#include <QRect>
#include <QVariantAnimation>

#include "panel/BarBackdrop.h"
#include "panel/BarMetrics.h"

class QPainter;
class QWidget;

namespace pm {

class PanelPresentation;

// The bar's body inside the view: docked at the panel's edge, as long as its strip's items need up to what
// the view holds, springing to each new length, and its dark translucent backdrop.
class BarFrame final : public QObject {
  Q_OBJECT

 public:
  // The bar lies in `view` (its size and whether it shows) at the edge `presentation` names; both must
  // outlive the frame.
  BarFrame(QWidget& view, const PanelPresentation& presentation);

  // Multiplies the spring's duration; 0 makes every change immediate.
  void setAnimationScale(double scale) { animationScale_ = scale; }
  // The bar's rectangle in the view's coordinates.
  QRect rect() const;
  // Gives the bar the length of a strip of `itemCount` tiles in the view; it springs there when `animated`
  // and shown.
  void fit(qsizetype itemCount, bool animated);
  void paint(QPainter& painter);

 Q_SIGNALS:
  // The bar's rectangle changed, on every step of the spring.
  void moved();
  // The spring came to rest.
  void settled();

 private:
  void setLength(double length);

  QWidget& view_;
  const PanelPresentation& presentation_;
  double animationScale_ = 1.0;
  BarBackdrop backdrop_{BarMetrics::kCornerRadius};
  QVariantAnimation lengthAnimation_;
  double length_ = BarMetrics::kShortestBar;
};

}  // namespace pm
