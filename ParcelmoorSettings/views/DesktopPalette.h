#pragma once

namespace pm::settings {

// Makes the application's palette follow the desktop's switch between a light and a dark theme while the
// program runs. Qt 6.4's GTK platform theme sees the switch (it reports a theme change, and the widget
// style's own palette turns light or dark with it), but the application palette is rebuilt from the
// palette the platform theme made at start-up and never makes again, so windows keep the old colours.
// When the application's palette is the style's own (the theme brings no colours of its own), each theme
// change puts the style's palette of the moment on the application. Call once, after the style is set.
void followDesktopPalette();

}  // namespace pm::settings
