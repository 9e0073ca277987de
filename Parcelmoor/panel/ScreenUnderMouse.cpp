#include "ScreenUnderMouse.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace pm {

QScreen* screenUnderMouse() {
  const QPoint pointer = QCursor::pos();
  const QList<QScreen*> screens = QGuiApplication::screens();
  for (QScreen* screen : screens) {
    if (screen->geometry().contains(pointer)) return screen;
  }
  return nullptr;
}

}  // namespace pm
