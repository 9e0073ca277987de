#include "UnconstrainedPanel.h"

namespace pm {

UnconstrainedPanel::UnconstrainedPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::NoDropShadowWindowHint) {
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

void UnconstrainedPanel::makeKey() {
  raise();
  activateWindow();
}

}  // namespace pm
