#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace pm::settings {

QRect windowPlacement(QSize preferred, QSize minimum, const QRect& available) {
  if (!available.isValid()) return QRect(QPoint(0, 0), preferred.expandedTo(minimum));
  const QSize size = preferred.expandedTo(minimum).boundedTo(available.size());
  QRect placed(QPoint(0, 0), size);
  placed.moveCenter(available.center());
  // A rounding of the centre must not push an edge off the screen.
  placed.moveLeft(std::clamp(placed.left(), available.left(), available.right() - size.width() + 1));
  placed.moveTop(std::clamp(placed.top(), available.top(), available.bottom() - size.height() + 1));
  return placed;
}

void placeWindow(QWidget& window, QSize preferred) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  const QRect available = screen ? screen->availableGeometry() : QRect();
  const QRect placed = windowPlacement(preferred, window.minimumSizeHint(), available);
  window.resize(placed.size());
  window.move(placed.topLeft());
}

}  // namespace pm::settings
