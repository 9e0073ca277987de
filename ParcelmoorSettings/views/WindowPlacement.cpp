#include "WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace pm::settings {

namespace {

QRect availableFor(const QWidget& window) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

QMargins frameOf(const QWidget& window) {
  const QRect frame = window.frameGeometry();
  const QRect content = window.geometry();
  return {content.left() - frame.left(), content.top() - frame.top(), frame.right() - content.right(),
          frame.bottom() - content.bottom()};
}

// Watches the window until the window manager has framed it, then fits the frame to the screen once.
class FramedPlacement final : public QObject {
 public:
  FramedPlacement(QWidget& window, QSize preferred) : QObject(&window), window_(window), preferred_(preferred) {
    window.installEventFilter(this);
  }

  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Expose:
      case QEvent::UpdateRequest:
        break;
      default:
        return false;
    }
    if (!window_.isVisible()) return false;
    const QMargins frame = frameOf(window_);
    // Not framed yet (or never: no window manager, which leaves the content as placed).
    if (frame.isNull()) return false;
    const QRect available = availableFor(window_);
    if (available.isValid() && !available.contains(window_.frameGeometry())) {
      const QRect placed = windowPlacement(preferred_, window_.minimumSizeHint(), available, frame);
      window_.setGeometry(placed);
    }
    deleteLater();
    window_.removeEventFilter(this);
    return false;
  }

 private:
  QWidget& window_;
  QSize preferred_;
};

}  // namespace

QRect windowPlacement(QSize preferred, QSize minimum, const QRect& available, const QMargins& frame) {
  const QSize content = preferred.expandedTo(minimum);
  if (!available.isValid()) return QRect(QPoint(frame.left(), frame.top()), content);
  const QSize room = available.size().shrunkBy(frame);
  const QSize size = content.boundedTo(room.expandedTo(QSize(1, 1)));
  QRect placed(QPoint(0, 0), size.grownBy(frame));
  placed.moveCenter(available.center());
  // A rounding of the centre must not push an edge off the screen.
  placed.moveLeft(std::clamp(placed.left(), available.left(), available.right() - placed.width() + 1));
  placed.moveTop(std::clamp(placed.top(), available.top(), available.bottom() - placed.height() + 1));
  return placed.marginsRemoved(frame);
}

void placeWindow(QWidget& window, QSize preferred) {
  const QRect available = availableFor(window);
  const QRect placed = windowPlacement(preferred, window.minimumSizeHint(), available, frameOf(window));
  window.resize(placed.size());
  // The position of a window is its frame's.
  window.move(placed.topLeft() - QPoint(frameOf(window).left(), frameOf(window).top()));
  if (!window.isVisible()) new FramedPlacement(window, preferred);
}

}  // namespace pm::settings
