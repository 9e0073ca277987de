#include "SymbolIcon.h"

#include <QApplication>
#include <QHash>
#include <QStringList>
#include <QStyle>

namespace pm::settings {

namespace {

struct Counterpart {
  QStringList themeNames;  // freedesktop icon names, most fitting first
  QStyle::StandardPixmap fallback;
};

const QHash<QString, Counterpart>& counterparts() {
  static const QHash<QString, Counterpart> table{
      {QStringLiteral("person.text.rectangle"),
       {{QStringLiteral("contact-new"), QStringLiteral("user-info"), QStringLiteral("avatar-default"),
         QStringLiteral("system-users")},
        QStyle::SP_DirHomeIcon}},
      {QStringLiteral("cloud"),
       {{QStringLiteral("folder-cloud"), QStringLiteral("weather-overcast"),
         QStringLiteral("network-server")},
        QStyle::SP_DriveNetIcon}},
      {QStringLiteral("gearshape.2"),
       {{QStringLiteral("preferences-system"), QStringLiteral("applications-system"),
         QStringLiteral("emblem-system")},
        QStyle::SP_ComputerIcon}},
      // The connections' symbols and the Apps page's controls.
      {QStringLiteral("shippingbox"), {{QStringLiteral("package-x-generic")}, QStyle::SP_FileIcon}},
      {QStringLiteral("shippingbox.fill"), {{QStringLiteral("package-x-generic")}, QStyle::SP_FileIcon}},
      {QStringLiteral("archivebox"), {{QStringLiteral("archive-manager"), QStringLiteral("package-x-generic")},
                                      QStyle::SP_FileIcon}},
      {QStringLiteral("cube.box"), {{QStringLiteral("package-x-generic")}, QStyle::SP_FileIcon}},
      {QStringLiteral("internaldrive"), {{QStringLiteral("drive-harddisk")}, QStyle::SP_DriveHDIcon}},
      {QStringLiteral("externaldrive"), {{QStringLiteral("drive-removable-media")}, QStyle::SP_DriveHDIcon}},
      {QStringLiteral("opticaldiscdrive"), {{QStringLiteral("drive-optical")}, QStyle::SP_DriveCDIcon}},
      {QStringLiteral("sdcard"), {{QStringLiteral("media-flash")}, QStyle::SP_DriveFDIcon}},
      {QStringLiteral("server.rack"), {{QStringLiteral("network-server")}, QStyle::SP_DriveNetIcon}},
      {QStringLiteral("cylinder.split.1x2"), {{QStringLiteral("drive-multidisk")}, QStyle::SP_DriveHDIcon}},
      {QStringLiteral("tray.full"), {{QStringLiteral("mail-inbox")}, QStyle::SP_DirIcon}},
      {QStringLiteral("icloud"), {{QStringLiteral("folder-cloud"), QStringLiteral("weather-overcast")},
                                  QStyle::SP_DriveNetIcon}},
      {QStringLiteral("cloud.fill"), {{QStringLiteral("weather-overcast")}, QStyle::SP_DriveNetIcon}},
      {QStringLiteral("cloud.bolt"), {{QStringLiteral("weather-storm")}, QStyle::SP_DriveNetIcon}},
      {QStringLiteral("triangle.righthalf.filled"), {{QStringLiteral("folder-remote")}, QStyle::SP_DriveNetIcon}},
      {QStringLiteral("network"), {{QStringLiteral("network-workgroup")}, QStyle::SP_DriveNetIcon}},
      {QStringLiteral("globe"), {{QStringLiteral("applications-internet")}, QStyle::SP_DriveNetIcon}},
      {QStringLiteral("antenna.radiowaves.left.and.right"),
       {{QStringLiteral("network-wireless")}, QStyle::SP_DriveNetIcon}},
      {QStringLiteral("square.and.arrow.up"), {{QStringLiteral("document-send")}, QStyle::SP_ArrowUp}},
      {QStringLiteral("paperplane"), {{QStringLiteral("mail-send")}, QStyle::SP_ArrowForward}},
      {QStringLiteral("arrow.up.circle"), {{QStringLiteral("go-up")}, QStyle::SP_ArrowUp}},
      {QStringLiteral("link"), {{QStringLiteral("insert-link")}, QStyle::SP_FileLinkIcon}},
      {QStringLiteral("bolt"), {{QStringLiteral("weather-storm")}, QStyle::SP_BrowserReload}},
      {QStringLiteral("folder"), {{QStringLiteral("folder")}, QStyle::SP_DirIcon}},
      {QStringLiteral("doc.on.doc"), {{QStringLiteral("edit-copy")}, QStyle::SP_FileIcon}},
      {QStringLiteral("photo.stack"), {{QStringLiteral("image-x-generic")}, QStyle::SP_FileIcon}},
      {QStringLiteral("film.stack"), {{QStringLiteral("video-x-generic")}, QStyle::SP_MediaPlay}},
      {QStringLiteral("music.note.list"), {{QStringLiteral("audio-x-generic")}, QStyle::SP_MediaVolume}},
      {QStringLiteral("building.2"), {{QStringLiteral("go-home")}, QStyle::SP_DirHomeIcon}},
      {QStringLiteral("briefcase"), {{QStringLiteral("applications-office")}, QStyle::SP_DirIcon}},
      {QStringLiteral("person.2"), {{QStringLiteral("system-users")}, QStyle::SP_DirHomeIcon}},
      {QStringLiteral("lock.shield"), {{QStringLiteral("security-high")}, QStyle::SP_VistaShield}},
      {QStringLiteral("star"), {{QStringLiteral("starred"), QStringLiteral("emblem-favorite")},
                                QStyle::SP_DialogYesButton}},
      {QStringLiteral("plus"), {{QStringLiteral("list-add")}, QStyle::SP_FileDialogNewFolder}},
      {QStringLiteral("ellipsis"), {{QStringLiteral("view-more"), QStringLiteral("open-menu")},
                                    QStyle::SP_ToolBarHorizontalExtensionButton}},
      {QStringLiteral("pencil"), {{QStringLiteral("document-edit")}, QStyle::SP_FileDialogDetailedView}},
      {QStringLiteral("trash"), {{QStringLiteral("edit-delete")}, QStyle::SP_TrashIcon}},
      {QStringLiteral("info.circle"), {{QStringLiteral("help-about"), QStringLiteral("dialog-information")},
                                       QStyle::SP_MessageBoxInformation}},
      {QStringLiteral("checkmark.circle.fill"), {{QStringLiteral("emblem-ok")}, QStyle::SP_DialogApplyButton}},
      {QStringLiteral("exclamationmark.circle.fill"), {{QStringLiteral("dialog-warning")},
                                                       QStyle::SP_MessageBoxWarning}},
      {QStringLiteral("exclamationmark.triangle.fill"), {{QStringLiteral("dialog-warning")},
                                                         QStyle::SP_MessageBoxWarning}},
      {QStringLiteral("arrow.down.document"),
       {{QStringLiteral("document-save"), QStringLiteral("document-save-as")}, QStyle::SP_DialogSaveButton}},
  };
  return table;
}

}  // namespace

QIcon symbolIcon(const QString& symbolName, SymbolTone tone) {
  // The program's own drawings first: a theme's nearest icon often means something else.
  if (SymbolIconEngine::hasDrawing(symbolName)) return QIcon(new SymbolIconEngine(symbolName, tone));
  const auto found = counterparts().constFind(symbolName);
  if (found == counterparts().constEnd()) return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  for (const QString& name : found->themeNames) {
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  }
  return QApplication::style()->standardIcon(found->fallback);
}

}  // namespace pm::settings
