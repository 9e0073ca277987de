#pragma once

#include <QByteArray>
#include <QMap>

#include <xcb/xcb.h>

namespace pm::settings::test {

// The desktop's settings manager as GNOME's or Xfce's runs it: it owns the screen's XSETTINGS selection and
// publishes text settings ("Net/ThemeName", …) that every GTK program on the display, and Qt's GTK platform
// theme with it, reads and follows when they change. On a connection of its own, for the test's life.
class XSettingsManager {
 public:
  XSettingsManager();
  ~XSettingsManager();
  XSettingsManager(const XSettingsManager&) = delete;
  XSettingsManager& operator=(const XSettingsManager&) = delete;

  // Publishes `value` under `name`, as a change the programs on the display are told of. The first call
  // also takes the selection and announces the manager.
  void set(const QByteArray& name, const QByteArray& value);

 private:
  void publish();

  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
  xcb_window_t window_ = 0;
  bool announced_ = false;
  quint32 serial_ = 0;
  struct Setting {
    QByteArray value;
    quint32 changed = 0;
  };
  QMap<QByteArray, Setting> settings_;
};

}  // namespace pm::settings::test
