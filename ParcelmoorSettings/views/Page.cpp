#include "Page.h"

#include <QCoreApplication>

namespace pm::settings {

QString title(Page page) {
  switch (page) {
    case Page::account:
      return QCoreApplication::translate("SettingsView", "Account");
    case Page::apps:
      return QCoreApplication::translate("SettingsView", "Apps");
    case Page::advanced:
      return QCoreApplication::translate("SettingsView", "Advanced");
  }
  Q_UNREACHABLE();
  return QString();
}

QString symbolName(Page page) {
  switch (page) {
    case Page::account:
      return QStringLiteral("person.text.rectangle");
    case Page::apps:
      return QStringLiteral("cloud");
    case Page::advanced:
      return QStringLiteral("gearshape.2");
  }
  Q_UNREACHABLE();
  return QString();
}

QString sidebarIdentifier(Page page) {
  switch (page) {
    case Page::account:
      return QStringLiteral("sidebar.account");
    case Page::apps:
      return QStringLiteral("sidebar.apps");
    case Page::advanced:
      return QStringLiteral("sidebar.advanced");
  }
  Q_UNREACHABLE();
  return QString();
}

}  // namespace pm::settings
