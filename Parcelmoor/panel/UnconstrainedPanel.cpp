#include "UnconstrainedPanel.h"

#include <QShowEvent>

#include "panel/OnAllDesktops.h"
#include "panel/WindowInputRegion.h"

namespace pm {

UnconstrainedPanel::UnconstrainedPanel(QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  // The agent keeps one panel for its whole run; closing it only hides it.
  setAttribute(Qt::WA_DeleteOnClose, false);
  setInputRegion(QRegion());
}

void UnconstrainedPanel::setInputRegion(const QRegion& region) {
  inputRegion_ = region;
  applyInputRegion();
}

void UnconstrainedPanel::applyInputRegion() {
  // On X11 only the input shape is set: a widget mask is the window's bounding shape there and would cut
  // away what is drawn beside the bar, such as the hovered tile's label.
  if (setWindowInputRegion(*this, inputRegion_)) return;
  // Elsewhere the mask is all there is. An empty mask would mean "no mask" to Qt, which takes the whole
  // rectangle: one pixel outside the window takes nothing instead.
  setMask(inputRegion_.isEmpty() ? QRegion(-1, -1, 1, 1) : inputRegion_);
}

bool UnconstrainedPanel::event(QEvent* event) {
  // A new native window starts with an input shape as large as itself.
  if (event->type() == QEvent::WinIdChange) applyInputRegion();
  return QWidget::event(event);
}

void UnconstrainedPanel::showEvent(QShowEvent* event) {
  // Before the window maps: a window manager drops the state of a window it unmapped, so every showing
  // asks again.
  if (!event->spontaneous()) {
    askToShowOnAllDesktops(*this);
    applyInputRegion();
  }
  QWidget::showEvent(event);
}

void UnconstrainedPanel::makeKey() {
  raise();
  activateWindow();
}

}  // namespace pm
