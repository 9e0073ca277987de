#include "OnAllDesktops.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace pm {

namespace {

template <typename Reply>
using XcbReply = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
  const XcbReply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name),
                            nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

}  // namespace

void askToShowOnAllDesktops(QWidget& window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return;
  xcb_connection_t* connection = x11->connection();
  const xcb_window_t id = xcb_window_t(window.winId());
  const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
  const xcb_atom_t sticky = internAtom(connection, "_NET_WM_STATE_STICKY");
  const xcb_atom_t desktop = internAtom(connection, "_NET_WM_DESKTOP");
  if (state == XCB_ATOM_NONE || sticky == XCB_ATOM_NONE || desktop == XCB_ATOM_NONE) return;

  // Managers read one or the other: the desktop "all" (0xFFFFFFFF) and the state "sticky".
  const uint32_t allDesktops = 0xFFFFFFFF;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);

  // Keep what is there (Qt adds "above" the same way); add "sticky" once.
  const XcbReply<xcb_get_property_reply_t> current(
      xcb_get_property_reply(connection, xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024),
                             nullptr),
      &std::free);
  if (current && current->format == 32 && current->type == XCB_ATOM_ATOM) {
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(current.get()));
    for (uint32_t index = 0; index < current->value_len; ++index) {
      if (atoms[index] == sticky) {
        xcb_flush(connection);
        return;
      }
    }
  }
  xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1, &sticky);
  xcb_flush(connection);
}

}  // namespace pm
