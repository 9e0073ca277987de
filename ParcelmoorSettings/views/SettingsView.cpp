#include "SettingsView.h"

#include <QButtonGroup>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QScrollArea>
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

namespace {

// A page in a frameless scroller, as the Apps page's list is: with larger text or a small screen the
// window may be shorter or narrower than the page, which then scrolls rather than be cut.
QWidget* scrolled(QWidget* page) {
  auto* scroll = new QScrollArea();
  scroll->setObjectName(page->objectName() + QStringLiteral(".scroll"));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidget(page);
  return scroll;
}

}  // namespace

SettingsView::SettingsView(AppSettings& settings, SharedDefaults& defaults, Signals& signals,
                           NotificationSettings& notificationSettings, const BundleInfo& bundle,
                           Keychain& keychain, ConnectionChecks& checks, QWidget* parent)
    : QWidget(parent), settings_(settings), defaults_(defaults) {
  resize(kSize);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(buildSidebar());

  pages_ = new QStackedWidget(this);
  // In the order of the pages, so a page's index is its case's.
  pages_->addWidget(scrolled(new AccountSettingsView(defaults, signals, keychain)));
  pages_->addWidget(new ConnectionsSettingsView(
      settings, {.keychain = keychain,
                 .defaults = defaults,
                 .signals = signals,
                 .bundle = bundle,
                 .checks = checks,
                 .serviceBase = serviceBaseUrl(),
                 .openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); },
                 .driveConnect = {}}));
  pages_->addWidget(scrolled(new AdvancedSettingsView(settings, signals, notificationSettings, bundle)));
  layout->addWidget(pages_, 1);

  signals.onNotification(QString::fromLatin1(names::signal::kSettingsChanged), this, [this] { reload(); });
  select(Page::account);
}

QWidget* SettingsView::buildSidebar() {
  auto* sidebar = new QWidget(this);
  sidebar_ = sidebar;
  sidebar->setObjectName(QStringLiteral("sidebar"));
  sidebar->setFixedWidth(kSidebarWidth);
  sidebar->setAttribute(Qt::WA_StyledBackground);
  styleSidebar();
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

void SettingsView::styleSidebar() {
  if (!sidebar_) return;
  // A shade of the window's own colour, lighter than it in a dark palette and darker in a light one.
  const QPalette colours = palette();
  const QColor window = colours.color(QPalette::Window);
  const bool dark = window.lightnessF() < 0.5;
  const QColor shaded = dark ? window.lighter(125) : window.darker(106);
  const QColor hovered = dark ? window.lighter(150) : window.darker(115);
  sidebar_->setStyleSheet(
      QStringLiteral("QWidget#sidebar { background: %1; border-right: 1px solid %2; }"
                     "QToolButton { border: none; border-radius: 6px; padding: 5px 8px; text-align: left; "
                     "color: %6; }"
                     "QToolButton:checked { background: %3; color: %4; }"
                     "QToolButton:hover:!checked { background: %5; }")
          .arg(shaded.name(), colours.color(QPalette::Mid).name(), colours.color(QPalette::Highlight).name(),
               colours.color(QPalette::HighlightedText).name(), hovered.name(),
               colours.color(QPalette::WindowText).name()));
}

void SettingsView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The sidebar's colours are written out in its style sheet: a new palette writes them again.
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange) styleSidebar();
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
