#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QSize>

namespace pm {

// The blurred shadow of `shape` (filled, or stroked with `strokeWidth` when that is above zero) without
// offset, as a picture of `canvas` size in `colour`, blurred over about `radius` points. Callers keep the
// picture: a shadow is made once per look, not once per frame.
QImage softShadow(const QPainterPath& shape, const QSize& canvas, qreal radius, const QColor& colour,
                  qreal strokeWidth = 0, qreal devicePixelRatio = 1);

}  // namespace pm
