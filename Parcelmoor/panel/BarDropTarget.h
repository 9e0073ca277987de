#pragma once

#include <QList>
#include <QObject>
#include <QUrl>
#include <QVariantAnimation>

class QPainter;
class QRect;
class QWidget;

namespace pm {

class BarFrame;
class BucketStore;

// Takes files dragged onto the bar for the open session, and rings the bar in the accent colour while a
// drag that carries files is over it. The rest of the panel lets the drag go on towards the bar.
class BarDropTarget final : public QObject {
  Q_OBJECT

 public:
  // Watches the drags over `view`, whose bar is `frame`; `store` gives the open session. All must outlive
  // the target.
  BarDropTarget(QWidget& view, const BarFrame& frame, BucketStore& store);

  // Multiplies the ring's fade; 0 makes it immediate.
  void setAnimationScale(double scale) { animationScale_ = scale; }
  bool isDropTarget() const { return isDropTarget_; }
  // Hands dropped files to the open session; whether the drop is taken.
  bool handleDrop(const QList<QUrl>& urls);
  // The ring over the bar, in the view's coordinates, as strong as the drag's stay over the bar has made it.
  void paint(QPainter& painter) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setDropTarget(bool target);

  QWidget& view_;
  const BarFrame& frame_;
  BucketStore& store_;
  double animationScale_ = 1.0;
  bool isDropTarget_ = false;
  double highlight_ = 0;
  QVariantAnimation highlightAnimation_;
};

}  // namespace pm
