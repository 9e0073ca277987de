#include "UnconstrainedPanel.h"

#include <QShowEvent>

#include "panel/OnAllDesktops.h"

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
  // An empty mask would mean "no mask" to Qt, which takes the whole rectangle: one pixel outside the
  // window takes nothing instead.
  setMask(region.isEmpty() ? QRegion(-1, -1, 1, 1) : region);
}

void UnconstrainedPanel::showEvent(QShowEvent* event) {
  // Before the window maps: a window manager drops the state of a window it unmapped, so every showing
  // asks again.
  if (!event->spontaneous()) askToShowOnAllDesktops(*this);
  QWidget::showEvent(event);
}

void UnconstrainedPanel::makeKey() {
  raise();
  activateWindow();
}

}  // namespace pm
