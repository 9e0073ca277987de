#pragma once

namespace pm::settings {

// Whether windows may be partly transparent: a compositing manager blends them over what lies below. On X
// that is a manager holding the screen's compositing selection; other platforms (Wayland, off screen)
// always compose.
bool desktopComposites();

}  // namespace pm::settings
