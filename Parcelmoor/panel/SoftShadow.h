#pragma once

#include <QColor>
#include <QPainterPath>

class QPainter;

namespace pm {

// A blurred shadow of `shape` without offset, `radius` points wide, drawn behind it. Built from a few
// widening strokes, which is cheap enough for every frame and close to a Gaussian blur at these sizes.
void drawSoftShadow(QPainter& painter, const QPainterPath& shape, qreal radius, const QColor& colour);

}  // namespace pm
