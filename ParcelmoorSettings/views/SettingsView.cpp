#include "SettingsView.h"

#include <QButtonGroup>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/ParcelmoorAPI.h"
#include "core/UploaderConfig.h"
#include "model/AppSettings.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "views/AccountSettingsView.h"
#include "views/AdvancedSettingsView.h"
#include "views/ConnectionsSettingsView.h"
#include "views/SymbolIcon.h"

namespace pm::settings {

SettingsView::SettingsView(AppSettings& settings, SharedDefaults& defaults, Signals& signals,
                           NotificationSettings& notificationSettings, const BundleInfo& bundle,
                           Keychain& keychain, ConnectionChecks& checks, QWidget* parent)
    : QWidget(parent), settings_(settings), defaults_(defaults) {
  setFixedSize(kSize);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(buildSidebar());

  pages_ = new QStackedWidget(this);
  // In the order of the pages, so a page's index is its case's.
  pages_->addWidget(new AccountSettingsView(defaults, signals, keychain));
  pages_->addWidget(new ConnectionsSettingsView(
      settings, {.keychain = keychain,
                 .defaults = defaults,
                 .signals = signals,
                 .bundle = bundle,
                 .checks = checks,
                 .serviceBase = serviceBaseUrl(),
                 .openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); },
                 .driveConnect = {}}));
  pages_->addWidget(new AdvancedSettingsView(settings, signals, notificationSettings, bundle));
  layout->addWidget(pages_, 1);

  signals.onNotification(QString::fromLatin1(names::signal::kSettingsChanged), this, [this] { reload(); });
  select(Page::account);
}

QWidget* SettingsView::buildSidebar() {
  auto* sidebar = new QWidget(this);
  sidebar->setObjectName(QStringLiteral("sidebar"));
  sidebar->setFixedWidth(kSidebarWidth);
  sidebar->setAttribute(Qt::WA_StyledBackground);
  const QPalette colours = palette();
  sidebar->setStyleSheet(
      QStringLiteral("QWidget#sidebar { background: %1; border-right: 1px solid %2; }"
                     "QToolButton { border: none; border-radius: 6px; padding: 5px 8px; text-align: left; }"
                     "QToolButton:checked { background: %3; color: %4; }"
                     "QToolButton:hover:!checked { background: %5; }")
          .arg(colours.color(QPalette::Window).darker(106).name(), colours.color(QPalette::Mid).name(),
               colours.color(QPalette::Highlight).name(), colours.color(QPalette::HighlightedText).name(),
               colours.color(QPalette::Window).darker(115).name()));
  auto* column = new QVBoxLayout(sidebar);
  column->setContentsMargins(10, 12, 10, 12);
  column->setSpacing(2);

  rows_ = new QButtonGroup(this);
  rows_->setExclusive(true);
  for (const Page page : kAllPages) {
    auto* row = new QToolButton(sidebar);
    row->setObjectName(sidebarIdentifier(page));
    row->setText(title(page));
    row->setAccessibleName(title(page));
    row->setIcon(symbolIcon(symbolName(page)));
    row->setIconSize(QSize(18, 18));
    row->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    row->setCheckable(true);
    row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    rows_->addButton(row, int(page));
    column->addWidget(row);
  }
  column->addStretch(1);
  connect(rows_, &QButtonGroup::idClicked, this, [this](int id) { select(Page(id)); });
  return sidebar;
}

void SettingsView::select(Page page) {
  selection_ = page;
  rows_->button(int(page))->setChecked(true);
  pages_->setCurrentIndex(int(page));
  setWindowTitle(title(page));
}

void SettingsView::reload() {
  // An empty list is what a suite that could not be read gives: the connections on screen stay.
  const QList<UploaderConfig> stored = UploaderConfig::loadAll(defaults_);
  // Assigning saves and signals again; the echo finds the lists equal and ends the exchange here.
  if (!stored.isEmpty() && stored != settings_.uploaders()) settings_.setUploaders(stored);
  settings_.reloadPreferences();
}

}  // namespace pm::settings
