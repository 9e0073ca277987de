#pragma once

#include <xcb/xcb.h>

namespace pm::settings::test {

// What a desktop puts on an X screen before any program starts: a wallpaper on the root window (announced
// the way a compositing manager reads it) and, when asked for, the text size in dots per inch that Qt and
// GTK read from the X resources ("Xft.dpi"). On a connection of its own that lives as long as the object,
// so the wallpaper's picture stays.
class DesktopGround {
 public:
  // `dpi` 0 leaves the resources as they are.
  explicit DesktopGround(int dpi);
  ~DesktopGround();
  DesktopGround(const DesktopGround&) = delete;
  DesktopGround& operator=(const DesktopGround&) = delete;

 private:
  void putWallpaper();
  void putDpi(int dpi);

  xcb_connection_t* connection_;
  xcb_screen_t* screen_ = nullptr;
};

}  // namespace pm::settings::test
