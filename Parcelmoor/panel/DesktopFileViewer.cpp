#include "panel/DesktopFileViewer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "platform/Log.h"

namespace pm {

namespace {

void openFolderOf(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
    qCWarning(lcApp) << "could not open the folder of" << privateValue(path);
  }
}

}  // namespace

void DesktopFileViewer::open(const QString& path) {
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) qCWarning(lcApp) << "could not open" << privateValue(path);
}

void DesktopFileViewer::showInFolder(const QString& path) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
  // Asked without waiting: a file manager that has to start first must not freeze the panel meanwhile.
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [path](QDBusPendingCallWatcher* done) {
    if (done->isError()) openFolderOf(path);
    done->deleteLater();
  });
}

}  // namespace pm
