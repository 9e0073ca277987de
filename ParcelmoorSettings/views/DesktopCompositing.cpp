#include "DesktopCompositing.h"

#include <QByteArray>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace pm::settings {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

}  // namespace

bool desktopComposites() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return true;
  xcb_connection_t* connection = x11->connection();
  // The selection of the default screen, which Qt's windows are on.
  int screen = 0;
  if (const char* display = std::getenv("DISPLAY")) {
    const QByteArray name(display);
    const int dot = name.lastIndexOf('.');
    if (dot > name.lastIndexOf(':')) screen = name.mid(dot + 1).toInt();
  }
  const QByteArray selection = "_NET_WM_CM_S" + QByteArray::number(screen);
  const Reply<xcb_intern_atom_reply_t> atom(
      xcb_intern_atom_reply(connection,
                            xcb_intern_atom(connection, 1, uint16_t(selection.size()), selection.constData()),
                            nullptr),
      &std::free);
  if (!atom || atom->atom == XCB_ATOM_NONE) return false;
  const Reply<xcb_get_selection_owner_reply_t> owner(
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr),
      &std::free);
  return owner && owner->owner != XCB_NONE;
}

}  // namespace pm::settings
