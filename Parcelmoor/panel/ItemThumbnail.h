#pragma once

#include <QPalette>
#include <QRectF>

#include "panel/LoadedThumbnail.h"

class QPainter;

namespace pm {

// Draws a thumbnail into a square, clipped to it: an icon sits on the control background with 18 % of the
// side free around it; a picture fills the square on white and is cropped to it.
void drawItemThumbnail(QPainter& painter, const QRectF& square, const LoadedThumbnail& thumbnail,
                       const QPalette& palette);

}  // namespace pm
