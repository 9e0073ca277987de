#pragma once

#include <QGraphicsEffect>
#include <QImage>
#include <QList>
#include <QRect>

#include "core/PanelEdge.h"
#include "panel/ScrollEdges.h"

namespace pm {

// Fades the ends of the bar's strip that have tiles scrolled beyond them, tiles included: the strip is
// drawn into a picture, masked, then put on screen. Enabled only while an end fades.
class StripFadeEffect final : public QGraphicsEffect {
  Q_OBJECT

 public:
  explicit StripFadeEffect(QObject* parent = nullptr);

  void setFade(ScrollEdges edges, PanelEdge edge);

 protected:
  void draw(QPainter* painter) override;

 private:
  // The fade as a picture of the strip's size: its alpha is what the strip keeps.
  const QImage& maskPicture(const QSize& pixels, qreal pixelRatio);
  // The parts of the mask that hide anything, in its pixels: the rest keeps the strip as it is.
  QList<QRect> fadingParts() const;

  ScrollEdges edges_;
  PanelEdge edge_ = PanelEdge::left;
  QImage mask_;
  QList<QRect> maskFading_;
  ScrollEdges maskEdges_;
  PanelEdge maskEdge_ = PanelEdge::left;
};

}  // namespace pm
