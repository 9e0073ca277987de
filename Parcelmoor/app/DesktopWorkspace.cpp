#include "app/DesktopWorkspace.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QWindow>

#include "platform/Log.h"

namespace pm {

bool DesktopWorkspace::openUrl(const QUrl& url) {
  if (QDesktopServices::openUrl(url)) return true;
  qCWarning(lcApp, "no program opened %s", qUtf8Printable(url.toDisplayString()));
  return false;
}

bool DesktopWorkspace::openApplication(const QString& program) {
  if (QProcess::startDetached(program, {})) return true;
  qCWarning(lcApp, "could not start %s", qUtf8Printable(privateValue(program)));
  return false;
}

void DesktopWorkspace::activateApplication() {
  // The agent has no ordinary window: only windows already on screen are brought forward.
  const QList<QWindow*> windows = QGuiApplication::topLevelWindows();
  for (QWindow* window : windows) {
    if (!window->isVisible()) continue;
    window->raise();
    window->requestActivate();
  }
}

}  // namespace pm
