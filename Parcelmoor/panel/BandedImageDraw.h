#pragma once

#include <QPointF>
#include <QRect>

class QImage;
class QPainter;

namespace pm {

// Draws the `source` part of `image` (in its pixels; all of it when null) at `at` as QPainter::drawImage
// does, in bands a few dozen pixel rows tall.
// The raster engine hands the blending of a taller picture to a pool of threads and waits for them; a
// picture the size of the bar's strip takes far less time to blend than that hand-over costs, and on a
// busy machine the wait for the pool's threads to run is what stalls a frame. Bands keep it on this thread.
void drawImageInBands(QPainter& painter, const QPointF& at, const QImage& image, QRect source = {});

}  // namespace pm
