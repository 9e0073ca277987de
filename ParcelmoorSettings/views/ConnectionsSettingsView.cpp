#include "ConnectionsSettingsView.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "model/AppSettings.h"
#include "views/ConnectionEditor.h"
#include "views/ConnectionRow.h"
#include "views/ConnectionTestBadge.h"
#include "views/ConnectionsPageModel.h"
#include "views/FormSection.h"
#include "views/SymbolIcon.h"
#include "views/SymbolView.h"
#include "views/TextTone.h"

namespace pm::settings {

namespace {

constexpr int kDeleteAlertMinimumWidth = 380;

// Out of the page at once, deleted later: a rebuild may come from one of the old widgets' own menus.
void discard(QWidget* old) {
  if (!old) return;
  old->hide();
  old->setParent(nullptr);
  old->deleteLater();
}

}  // namespace

ConnectionsSettingsView::ConnectionsSettingsView(AppSettings& settings, ConnectionServices services,
                                                 QWidget* parent)
    : QWidget(parent),
      services_(std::move(services)),
      model_(new ConnectionsPageModel(settings, services_.defaults, services_.signals, services_.checks,
                                      services_.serviceBase, services_.openUrl, this)),
      content_(new QStackedWidget(this)) {
  setObjectName(QStringLiteral("apps"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 14, 20, 20);
  layout->setSpacing(10);

  auto* toolbar = new QHBoxLayout();
  toolbar->addStretch(1);
  auto* addButton = new QToolButton(this);
  addButton->setObjectName(QStringLiteral("apps.add"));
  addButton->setIcon(symbolIcon(QStringLiteral("plus")));
  addButton->setToolTip(tr("Add an app"));
  addButton->setAccessibleName(tr("Add an app"));
  addButton->setAutoRaise(true);
  connect(addButton, &QToolButton::clicked, this, &ConnectionsSettingsView::add);
  toolbar->addWidget(addButton);
  layout->addLayout(toolbar);
  layout->addWidget(content_, 1);

  connect(model_, &ConnectionsPageModel::connectionsChanged, this, &ConnectionsSettingsView::refresh);
  connect(model_, &ConnectionsPageModel::accountChanged, this, &ConnectionsSettingsView::refresh);
  connect(model_, &ConnectionsPageModel::testChanged, this, &ConnectionsSettingsView::showTest);
  refresh();
}

ConnectionsSettingsView::Shown ConnectionsSettingsView::wanted() const {
  Shown shown;
  for (const UploaderConfig& config : model_->visibleConnections())
    shown.rows.append({config, config.isConfigured(services_.defaults)});
  if (shown.rows.isEmpty()) shown.empty = model_->emptyAction();
  return shown;
}

void ConnectionsSettingsView::refresh() {
  Shown now = wanted();
  // Only a different list (or empty state) is built anew: a rebuild would close a menu the user has open
  // and lose the scroll position.
  if (shown_ && *shown_ == now) return;
  shown_ = std::move(now);
  rebuild();
}

void ConnectionsSettingsView::showTest(const QUuid& id) {
  const auto found = rows_.constFind(id);
  if (found != rows_.constEnd()) {
    const std::optional<ConnectionTest> test = model_->test(id);
    if (found->row) found->row->showTest(test);
    if (found->badge) found->badge->show(test);
  }
  // A test may have found out what a connection lacks (the synced folder's check, for one).
  refresh();
}

void ConnectionsSettingsView::rebuild() {
  rows_.clear();
  if (empty_) {
    content_->removeWidget(empty_);
    discard(empty_);
    empty_ = nullptr;
  }
  if (model_->visibleConnections().isEmpty()) {
    empty_ = buildEmptyState();
    content_->addWidget(empty_);
    content_->setCurrentWidget(empty_);
    return;
  }
  if (!scroll_) {
    scroll_ = new QScrollArea();
    scroll_->setObjectName(QStringLiteral("apps.scroll"));
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    content_->addWidget(scroll_);
  }
  // The same scroll area takes the new list, so the user keeps looking where they were.
  const int scrolled = scroll_->verticalScrollBar()->value();
  discard(scroll_->takeWidget());
  auto* list = new QWidget();
  list->setObjectName(QStringLiteral("apps.list"));
  auto* column = new QVBoxLayout(list);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(18);
  const std::pair<QString, QList<UploaderConfig>> sections[] = {
      {tr("File Sharing"), model_->fileSharing()}, {tr("Uploaders"), model_->uploaders()}};
  for (const auto& [header, rows] : sections) {
    if (rows.isEmpty()) continue;
    auto* section = new FormSection(header);
    section->setObjectName(QStringLiteral("apps.section.") + header);
    for (const UploaderConfig& config : rows) {
      auto* trailing = new QWidget();
      auto* line = new QHBoxLayout(trailing);
      line->setContentsMargins(0, 0, 0, 0);
      line->setSpacing(8);
      auto* badge = new ConnectionTestBadge(trailing);
      badge->setObjectName(QStringLiteral("apps.badge"));
      badge->show(model_->test(config.id));
      line->addWidget(badge);
      line->addWidget(buildRow(config));
      auto* row = new ConnectionRow(config, config.isConfigured(services_.defaults));
      row->showTest(model_->test(config.id));
      rows_.insert(config.id, {row, badge});
      QWidget* container = section->addRow(row, trailing);
      container->setObjectName(QStringLiteral("apps.row.") + rawValue(config.kind));
      container->setProperty("connectionId", config.id);
    }
    column->addWidget(section);
  }
  column->addStretch(1);
  scroll_->setWidget(list);
  content_->setCurrentWidget(scroll_);
  // Once the new list has its size the old position exists again.
  if (scrolled > 0)
    QTimer::singleShot(0, scroll_, [scroll = scroll_, scrolled] { scroll->verticalScrollBar()->setValue(scrolled); });
}

QWidget* ConnectionsSettingsView::buildRow(const UploaderConfig& config) {
  auto* menuButton = new QToolButton();
  menuButton->setObjectName(QStringLiteral("apps.menu"));
  menuButton->setIcon(symbolIcon(QStringLiteral("ellipsis")));
  menuButton->setAutoRaise(true);
  menuButton->setPopupMode(QToolButton::InstantPopup);
  menuButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
  auto* menu = new QMenu(menuButton);
  if (ConnectionsPageModel::isEditable(config)) {
    QAction* edit = menu->addAction(symbolIcon(QStringLiteral("pencil")), tr("Edit…"));
    edit->setObjectName(QStringLiteral("apps.edit"));
    connect(edit, &QAction::triggered, this, [this, config] { this->edit(config); });
  }
  QAction* test = menu->addAction(symbolIcon(QStringLiteral("cloud")), tr("Test Connection"));
  test->setObjectName(QStringLiteral("apps.test"));
  connect(test, &QAction::triggered, this, [this, config] { model_->runTest(config); });
  if (ConnectionsPageModel::isEditable(config)) {
    menu->addSeparator();
    QAction* remove = menu->addAction(symbolIcon(QStringLiteral("trash")), tr("Delete"));
    remove->setObjectName(QStringLiteral("apps.delete"));
    remove->setShortcut(QKeySequence(Qt::Key_Delete));
    connect(remove, &QAction::triggered, this, [this, config] { confirmDelete(config); });
  }
  menuButton->setMenu(menu);
  return menuButton;
}

QWidget* ConnectionsSettingsView::buildEmptyState() {
  auto* empty = new QWidget();
  empty->setObjectName(QStringLiteral("apps.emptyState"));
  auto* column = new QVBoxLayout(empty);
  column->setSpacing(10);
  column->addStretch(1);
  column->addWidget(new SymbolView(QStringLiteral("cloud"), 44, SymbolTone::text, empty), 0, Qt::AlignCenter);
  auto* title = new QLabel(tr("No Apps"), empty);
  QFont headline = title->font();
  headline.setBold(true);
  headline.setPointSizeF(headline.pointSizeF() * 1.4);
  title->setFont(headline);
  title->setAlignment(Qt::AlignCenter);
  column->addWidget(title);
  auto* description =
      new QLabel(tr("Add an app to upload to your own storage, or use Parcelmoor with a subscription."), empty);
  description->setWordWrap(true);
  description->setAlignment(Qt::AlignCenter);
  setTextTone(description, TextTone::secondary);
  column->addWidget(description);

  const bool signIn = model_->emptyAction() == ConnectionsPageModel::EmptyAction::signIn;
  auto* action = new QPushButton(signIn ? tr("Sign In") : tr("Subscribe"), empty);
  action->setObjectName(signIn ? QStringLiteral("apps.emptyState.signIn")
                               : QStringLiteral("apps.emptyState.subscribe"));
  connect(action, &QPushButton::clicked, this, [this, signIn] {
    if (signIn) model_->signIn();
    else model_->subscribe();
  });
  column->addWidget(action, 0, Qt::AlignCenter);
  column->addStretch(2);
  return empty;
}

void ConnectionsSettingsView::add() { edit(ConnectionsPageModel::newDraft()); }

void ConnectionsSettingsView::edit(const UploaderConfig& draft) {
  if (editor_) editor_->close();
  editor_ = new ConnectionEditor(draft, model_->isNew(draft), services_, this);
  editor_->setAttribute(Qt::WA_DeleteOnClose);
  connect(editor_, &ConnectionEditor::saved, model_, &ConnectionsPageModel::save);
  editor_->open();
}

void ConnectionsSettingsView::confirmDelete(const UploaderConfig& config) {
  if (deleteAlert_) deleteAlert_->close();
  deleteAlert_ = new QMessageBox(QMessageBox::Warning, ConnectionsPageModel::deleteTitle(config),
                                 ConnectionsPageModel::deleteTitle(config), QMessageBox::NoButton, this);
  deleteAlert_->setObjectName(QStringLiteral("apps.deleteAlert"));
  deleteAlert_->setInformativeText(ConnectionsPageModel::deleteMessage());
  QPushButton* remove = deleteAlert_->addButton(tr("Delete"), QMessageBox::DestructiveRole);
  remove->setObjectName(QStringLiteral("apps.deleteAlert.delete"));
  remove->setAutoDefault(false);
  // Return must never delete: the harmless answer is the default.
  QPushButton* cancel = deleteAlert_->addButton(QMessageBox::Cancel);
  deleteAlert_->setDefaultButton(cancel);
  deleteAlert_->setEscapeButton(cancel);
  // A message box sizes itself to its text alone; the window manager then cuts the title.
  if (auto* grid = qobject_cast<QGridLayout*>(deleteAlert_->layout())) {
    const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
    // Room for the title beside the window manager's buttons, and never a cramped box.
    const int width = std::max(kDeleteAlertMinimumWidth, title.horizontalAdvance(deleteAlert_->windowTitle()) + 160);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
  }
  deleteAlert_->setAttribute(Qt::WA_DeleteOnClose);
  connect(remove, &QPushButton::clicked, this, [this, config] { model_->remove(config); });
  deleteAlert_->open();
}

}  // namespace pm::settings
