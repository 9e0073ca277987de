#pragma once

#include <QImage>

namespace pm {

// The picture of a bucket item: a rendering of its content, or the file's icon when none could be made.
// The image carries the device pixel ratio it was made for.
struct LoadedThumbnail {
  QImage image;
  bool isIcon = false;
};

}  // namespace pm
