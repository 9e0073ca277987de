#include "panel/BarKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

#include "panel/UploadPanelView.h"

namespace pm {

BarKeys::BarKeys(UploadPanelView& view) : view_(view) {}

BarKeys::~BarKeys() {
  removeMonitor();
}

void BarKeys::installMonitor() {
  if (monitoring_ || !qApp) return;
  qApp->installEventFilter(this);
  monitoring_ = true;
}

void BarKeys::removeMonitor() {
  if (!monitoring_) return;
  if (qApp) qApp->removeEventFilter(this);
  monitoring_ = false;
}

bool BarKeys::handleKeyDown(QKeyEvent& event, QObject* receiver) {
  QWidget* panelWindow = view_.window();
  const bool ours = receiver == panelWindow->windowHandle() ||
                    (receiver->isWidgetType() && static_cast<QWidget*>(receiver)->window() == panelWindow);
  if (!ours || QApplication::activeWindow() != panelWindow) return false;
  const bool extending = event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
  switch (event.key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
      view_.moveSelection(-1, extending);
      return true;
    case Qt::Key_Right:
    case Qt::Key_Down:
      view_.moveSelection(1, extending);
      return true;
    case Qt::Key_Space:
      if (view_.selection().ids().isEmpty()) return false;
      view_.previewSelection();
      return true;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
      if (view_.selection().ids().isEmpty()) return false;
      view_.removeSelection();
      return true;
    default:
      return false;
  }
}

bool BarKeys::eventFilter(QObject* watched, QEvent* event) {
  if (monitoring_ && event->type() == QEvent::KeyPress)
    return handleKeyDown(*static_cast<QKeyEvent*>(event), watched);
  return false;
}

}  // namespace pm
