#include "panel/WindowInputRegion.h"

#include <QGuiApplication>
#include <QRegion>
#include <QWidget>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cmath>
#include <vector>

namespace pm {

bool setWindowInputRegion(QWidget& window, const QRegion& region) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return false;
  // A window not made yet is shaped when it is: the caller sets the region again then.
  if (!window.testAttribute(Qt::WA_WState_Created)) return true;
  xcb_connection_t* connection = x11->connection();

  // The server counts device pixels; Qt's scale factor lies between them and the widget's points. Each
  // rectangle grows to whole pixels, so a scaled region never loses a row it covers in part.
  const qreal ratio = window.devicePixelRatio();
  std::vector<xcb_rectangle_t> rectangles;
  for (const QRect& rect : region) {
    const int left = int(std::floor(rect.left() * ratio));
    const int top = int(std::floor(rect.top() * ratio));
    const int right = int(std::ceil((rect.right() + 1) * ratio));
    const int bottom = int(std::ceil((rect.bottom() + 1) * ratio));
    rectangles.push_back({int16_t(left), int16_t(top), uint16_t(right - left), uint16_t(bottom - top)});
  }
  xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                       xcb_window_t(window.winId()), 0, 0, uint32_t(rectangles.size()), rectangles.data());
  xcb_flush(connection);
  return true;
}

}  // namespace pm
