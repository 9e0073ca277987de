#include "DisplayPlatform.h"

namespace pm {

DisplayChoice chooseDisplayPlatform(const QProcessEnvironment& environment) {
  if (!environment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty()) return {};
  if (!environment.value(QStringLiteral("DISPLAY")).isEmpty())
    return {QByteArrayLiteral("xcb"), std::nullopt};
  const bool wayland = !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
  return {std::nullopt,
          wayland
              ? QStringLiteral("Parcelmoor needs an X11 display, and this Wayland session offers none: "
                               "install or enable XWayland, then start Parcelmoor again.")
              : QStringLiteral("Parcelmoor needs a graphical display and found none (DISPLAY is not set). "
                               "Start it from a desktop session, or set QT_QPA_PLATFORM=offscreen to run "
                               "it without a screen.")};
}

}  // namespace pm
