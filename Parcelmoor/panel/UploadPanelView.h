#pragma once

#include <QRegion>
#include <QWidget>

namespace pm {

class BucketStore;
class PanelPresentation;

// The bucket bar: the root of the panel's content. For now it draws the empty bar docked at the panel's
// edge; tiles, drops and the finish button come with the bar itself.
class UploadPanelView final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kBarThickness = 80;
  static constexpr int kShortestBar = 80;
  static constexpr int kOuterPadding = 18;
  static constexpr double kCornerRadius = 22;

  // Both must outlive the view.
  UploadPanelView(BucketStore& store, PanelPresentation& presentation, QWidget* parent = nullptr);

  // The bar's rectangle in this view's coordinates.
  QRect barRect() const;
  // What takes the mouse: the bar and whatever floats over it.
  QRegion interactiveRegion() const;

 Q_SIGNALS:
  void interactiveRegionChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  BucketStore& store_;
  PanelPresentation& presentation_;
};

}  // namespace pm
