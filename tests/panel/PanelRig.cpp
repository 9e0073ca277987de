#include "PanelRig.h"

#include "panel/PanelContent.h"
#include "panel/UnconstrainedPanel.h"

namespace pm::test {

bool PanelRig::showAndSettle() {
  panel.show();
  return runUntil([this] {
    const auto* content = panel.window() ? panel.window()->findChild<PanelContent*>() : nullptr;
    return panel.presentation().visible() && content && !content->isAnimating();
  });
}

QScreen* screenNamed(const QString& name) {
  const QList<QScreen*> screens = QGuiApplication::screens();
  for (QScreen* screen : screens) {
    if (screen->name() == name) return screen;
  }
  return nullptr;
}

void pointAt(const QString& name, QPoint offset) {
  QCursor::setPos(screenNamed(name)->geometry().center() + offset);
}

}  // namespace pm::test
