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
      {QStringLiteral("info.circle"),
       {{QStringLiteral("help-about"), QStringLiteral("dialog-information")}, QStyle::SP_MessageBoxInformation}},
      {QStringLiteral("arrow.down.document"),
       {{QStringLiteral("document-save"), QStringLiteral("document-save-as")}, QStyle::SP_DialogSaveButton}},
  };
  return table;
}

}  // namespace

QIcon symbolIcon(const QString& symbolName) {
  const auto found = counterparts().constFind(symbolName);
  if (found == counterparts().constEnd()) return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  for (const QString& name : found->themeNames) {
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  }
  return QApplication::style()->standardIcon(found->fallback);
}

}  // namespace pm::settings
