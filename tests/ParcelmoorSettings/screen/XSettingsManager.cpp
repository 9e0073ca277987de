#include "XSettingsManager.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace pm::settings::test {

namespace {

// Interned when missing: a manager names what it publishes.
xcb_atom_t settingsAtom(xcb_connection_t* connection, const char* name) {
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name),
                            nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The XSETTINGS wire format: little-endian numbers, every field padded to four bytes.
void append32(QByteArray& bytes, quint32 value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.append(char((value >> shift) & 0xff));
}
void appendPadded(QByteArray& bytes, const QByteArray& text) {
  bytes.append(text);
  while (bytes.size() % 4) bytes.append('\0');
}

}  // namespace

XSettingsManager::XSettingsManager() : connection_(xcb_connect(nullptr, nullptr)) {
  if (xcb_connection_has_error(connection_))
    throw std::runtime_error("no X display for the settings manager");
  root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  window_ = xcb_generate_id(connection_);
  xcb_create_window(connection_, 0, window_, root_, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0,
                    nullptr);
}

XSettingsManager::~XSettingsManager() {
  xcb_disconnect(connection_);
}

void XSettingsManager::set(const QByteArray& name, const QByteArray& value) {
  settings_[name] = {value, ++serial_};
  publish();
  if (announced_) return;
  announced_ = true;
  const xcb_atom_t selection = settingsAtom(connection_, "_XSETTINGS_S0");
  xcb_set_selection_owner(connection_, window_, selection, XCB_CURRENT_TIME);
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = root_;
  message.type = settingsAtom(connection_, "MANAGER");
  message.data.data32[0] = XCB_CURRENT_TIME;
  message.data.data32[1] = selection;
  message.data.data32[2] = window_;
  xcb_send_event(connection_, 0, root_, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(connection_);
}

void XSettingsManager::publish() {
  QByteArray bytes;
  bytes.append(char(0));  // least significant byte first
  bytes.append(3, '\0');
  append32(bytes, serial_);
  append32(bytes, quint32(settings_.size()));
  for (auto it = settings_.cbegin(); it != settings_.cend(); ++it) {
    bytes.append(char(1));  // a text
    bytes.append('\0');
    bytes.append(char(it.key().size() & 0xff));
    bytes.append(char(it.key().size() >> 8));
    appendPadded(bytes, it.key());
    append32(bytes, it->changed);
    append32(bytes, quint32(it->value.size()));
    appendPadded(bytes, it->value);
  }
  const xcb_atom_t property = settingsAtom(connection_, "_XSETTINGS_SETTINGS");
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, property, property, 8,
                      quint32(bytes.size()), bytes.constData());
  xcb_flush(connection_);
}

}  // namespace pm::settings::test
