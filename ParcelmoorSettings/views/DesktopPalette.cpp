#include "DesktopPalette.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QWindow>

namespace pm::settings {

namespace {

// Qt tells every window of the application of a theme change, shown or not: a window that is never shown
// hears of each one, also while the program has no other window.
class PaletteFollower final : public QWindow {
 public:
  PaletteFollower() { setObjectName(QStringLiteral("desktopPaletteFollower")); }

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::ThemeChange && !pending_) {
      pending_ = true;
      // Once Qt has finished its own handling of the change, which rebuilds the application palette from
      // the one the platform theme made at start-up.
      QTimer::singleShot(0, this, [this] {
        pending_ = false;
        const QPalette current = QApplication::style()->standardPalette();
        if (current != QApplication::palette()) QApplication::setPalette(current);
      });
    }
    return QWindow::event(event);
  }

 private:
  bool pending_ = false;
};

}  // namespace

void followDesktopPalette() {
  static QPointer<PaletteFollower> follower;
  if (follower || !qApp) return;
  // A theme whose palette is its own (a desktop's colour scheme) keeps it, and Qt follows it as it is.
  if (QApplication::palette() != QApplication::style()->standardPalette()) return;
  follower = new PaletteFollower();
  QObject::connect(qApp, &QObject::destroyed, follower, [] { delete follower; });
}

}  // namespace pm::settings
