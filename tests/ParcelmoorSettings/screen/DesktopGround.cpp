#include "DesktopGround.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace pm::settings::test {

namespace {

// Interned when missing: a manager names what it publishes.
xcb_atom_t groundAtom(xcb_connection_t* connection, const char* name) {
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name),
                            nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A wallpaper with colours no window has: a diagonal sweep from teal to plum with a few soft bands, so a
// window's edges and corners stand out against it, light or dark.
QImage wallpaper(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient sweep(0, 0, width, height);
  sweep.setColorAt(0.0, QColor(22, 110, 120));
  sweep.setColorAt(0.55, QColor(70, 80, 140));
  sweep.setColorAt(1.0, QColor(130, 60, 110));
  painter.fillRect(image.rect(), sweep);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  for (int band = 0; band < 6; ++band) {
    painter.setBrush(QColor(255, 255, 255, 14 + 4 * band));
    const int size = std::max(width, height) / (2 + band);
    painter.drawEllipse(QPoint(width * (band + 1) / 7, height * (6 - band) / 7), size / 2, size / 3);
  }
  return image;
}

}  // namespace

DesktopGround::DesktopGround(int dpi) : connection_(xcb_connect(nullptr, nullptr)) {
  if (xcb_connection_has_error(connection_)) throw std::runtime_error("no X display for the desktop");
  screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  putWallpaper();
  if (dpi > 0) putDpi(dpi);
  xcb_flush(connection_);
}

DesktopGround::~DesktopGround() {
  xcb_disconnect(connection_);
}

void DesktopGround::putWallpaper() {
  if (screen_->root_depth != 24) return;
  const QImage picture = wallpaper(screen_->width_in_pixels, screen_->height_in_pixels);
  const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
  xcb_create_pixmap(connection_, screen_->root_depth, pixmap, screen_->root, screen_->width_in_pixels,
                    screen_->height_in_pixels);
  const xcb_gcontext_t context = xcb_generate_id(connection_);
  xcb_create_gc(connection_, context, pixmap, 0, nullptr);
  // In bands that fit one request each.
  const int rows =
      std::max(1, int(xcb_get_maximum_request_length(connection_) * 4 - 64) / int(picture.bytesPerLine()));
  for (int top = 0; top < picture.height(); top += rows) {
    const int height = std::min(rows, picture.height() - top);
    xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, context, uint16_t(picture.width()),
                  uint16_t(height), 0, int16_t(top), 0, screen_->root_depth,
                  uint32_t(height * picture.bytesPerLine()), picture.constScanLine(top));
  }
  xcb_free_gc(connection_, context);
  const uint32_t background = pixmap;
  xcb_change_window_attributes(connection_, screen_->root, XCB_CW_BACK_PIXMAP, &background);
  xcb_clear_area(connection_, 0, screen_->root, 0, 0, 0, 0);
  // Where compositing managers and desktop programs look for the wallpaper's picture.
  for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, screen_->root, groundAtom(connection_, name),
                        XCB_ATOM_PIXMAP, 32, 1, &pixmap);
  }
}

void DesktopGround::putDpi(int dpi) {
  const QByteArray resources = "Xft.dpi:\t" + QByteArray::number(dpi) + "\n";
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, screen_->root, XCB_ATOM_RESOURCE_MANAGER,
                      XCB_ATOM_STRING, 8, uint32_t(resources.size()), resources.constData());
}

}  // namespace pm::settings::test
