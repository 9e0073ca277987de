#pragma once

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QLinearGradient>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace pm::test {

// A wallpaper like a desktop's: a dusk gradient with soft hills, in none of the flat colours the tests look
// for, so that what a window shows is judged against a busy ground rather than an even grey.
inline QImage wallpaperPicture(QSize size) {
  QImage picture(size, QImage::Format_RGB32);
  QPainter painter(&picture);
  QLinearGradient sky(0, 0, 0, size.height());
  sky.setColorAt(0.0, QColor(58, 74, 128));
  sky.setColorAt(0.6, QColor(196, 120, 108));
  sky.setColorAt(1.0, QColor(230, 176, 120));
  painter.fillRect(picture.rect(), sky);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  for (int hill = 0; hill < 3; ++hill) {
    painter.setBrush(QColor(52 + 18 * hill, 66 + 14 * hill, 70 + 10 * hill));
    const int top = size.height() * (60 + 10 * hill) / 100;
    painter.drawEllipse(QRect(size.width() * (hill - 1) / 2, top, size.width(), size.height()));
  }
  return picture;
}

// Lays `picture` on the X server's root window as its background and announces it the way wallpaper
// setters do (_XROOTPMAP_ID), so a compositing manager draws it below the windows. The pixmap lives as
// long as this process's connection. Nothing without an X connection. Returns once the server holds it all.
// Lay it before the compositing manager starts: xcompmgr answers a later change by clearing the root, a
// request it keeps unsent until some other event of the screen wakes it, so a quiet desktop went on showing
// the grey it had drawn before.
inline bool setWallpaper(const QImage& picture) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return false;
  xcb_connection_t* connection = x11->connection();
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (!screen || screen->root_depth != 24) return false;
  const QImage pixels = picture.scaled(screen->width_in_pixels, screen->height_in_pixels)
                            .convertToFormat(QImage::Format_RGB32);

  const xcb_pixmap_t pixmap = xcb_generate_id(connection);
  xcb_create_pixmap(connection, screen->root_depth, pixmap, screen->root, uint16_t(pixels.width()),
                    uint16_t(pixels.height()));
  const xcb_gcontext_t context = xcb_generate_id(connection);
  xcb_create_gc(connection, context, pixmap, 0, nullptr);
  // In bands well below the largest request a server takes.
  const int rowsPerBand = std::max(1, int(64 * 1024 / pixels.bytesPerLine()));
  for (int top = 0; top < pixels.height(); top += rowsPerBand) {
    const int rows = std::min(rowsPerBand, pixels.height() - top);
    xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, context, uint16_t(pixels.width()), uint16_t(rows), 0,
                  int16_t(top), 0, screen->root_depth, uint32_t(rows * pixels.bytesPerLine()),
                  pixels.constScanLine(top));
  }
  xcb_free_gc(connection, context);

  xcb_change_window_attributes(connection, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
  xcb_clear_area(connection, 0, screen->root, 0, 0, 0, 0);
  for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name), nullptr);
    if (!atom) return false;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, screen->root, atom->atom, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    std::free(atom);
  }
  // A reply comes after every request before it is done, so a compositing manager started next reads it.
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  return true;
}

}  // namespace pm::test
