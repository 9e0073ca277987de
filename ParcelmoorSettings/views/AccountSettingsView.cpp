#include "AccountSettingsView.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/ParcelmoorAPI.h"
#include "model/RecoveryKit.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "sync/SyncKey.h"
#include "views/AboutSyncPopover.h"
#include "views/AppendingPath.h"
#include "views/BreakableAddress.h"
#include "views/FlowLabel.h"
#include "views/FormSection.h"
#include "views/Popover.h"
#include "views/SaveFolder.h"
#include "views/SignInCodePanel.h"
#include "views/Spinner.h"
#include "views/SpinnerFace.h"
#include "views/SymbolIcon.h"
#include "views/SyncCodeSheet.h"
#include "views/SyncJoinSheet.h"
#include "views/SyncTile.h"
#include "views/TextTone.h"

namespace pm::settings {

namespace {

bool syncIsOn(const SyncState& sync) {
  switch (sync.kind()) {
    case SyncState::Case::offering:
    case SyncState::Case::on:
      return true;
    case SyncState::Case::failed:
      return sync.stillOn();
    case SyncState::Case::off:
    case SyncState::Case::starting:
    case SyncState::Case::enterCode:
    case SyncState::Case::joining:
      return false;
  }
  return false;
}

bool isPairing(const SyncState& sync) {
  return sync.kind() == SyncState::Case::enterCode || sync.kind() == SyncState::Case::joining;
}

bool signedIn(const AccountState& state) {
  return state.kind() == AccountState::Case::signedIn;
}

QString failureText(AccountState::Failure failure) {
  switch (failure) {
    case AccountState::Failure::denied:
      return AccountSettingsView::tr("Sign-in was refused");
    case AccountState::Failure::expired:
      return AccountSettingsView::tr("The code expired");
    case AccountState::Failure::network:
      return AccountSettingsView::tr("Could not reach Parcelmoor");
    case AccountState::Failure::keychain:
      return keychainFailureMessage();
  }
  Q_UNREACHABLE();
  return QString();
}

void fillDesktopDefaults(AccountSettingsView::Environment& environment) {
  if (!environment.openUrl) environment.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  if (!environment.serviceBase) environment.serviceBase = serviceBaseUrl();
  if (!environment.chooseSaveLocation) {
    environment.chooseSaveLocation = [](QWidget* parent, const QString& fileName) -> std::optional<QString> {
      const QString chosen = QFileDialog::getSaveFileName(parent, AccountSettingsView::tr("Save Recovery Kit"),
                                                          QDir(saveFolder()).filePath(fileName));
      if (chosen.isEmpty()) return std::nullopt;
      return chosen;
    };
  }
  if (!environment.reportError) {
    environment.reportError = [](QWidget* parent, const QString& message) {
      QMessageBox::warning(parent, AccountSettingsView::tr("Recovery Kit"), message);
    };
  }
}

// A secondary-coloured line of the form, on one line while the row has room for it.
QLabel* makeStatusLabel(const char* objectName) {
  auto* label = new FlowLabel();
  label->setObjectName(QString::fromLatin1(objectName));
  setTextTone(label, TextTone::secondary);
  return label;
}

}  // namespace

AccountSettingsView::AccountSettingsView(SharedDefaults& defaults, Signals& signals, Keychain& keychain,
                                         Environment environment, QWidget* parent)
    : QWidget(parent),
      defaults_(defaults),
      signals_(signals),
      keychain_(keychain),
      environment_(std::move(environment)),
      state_(AccountState::load(defaults)),
      sync_(SyncState::load(defaults)) {
  setObjectName(QStringLiteral("account"));
  fillDesktopDefaults(environment_);
  loading_ = new SignInLoadingWindow(environment_.schedule, this);
  connect(loading_, &SignInLoadingWindow::openChanged, this, &AccountSettingsView::showAccount);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 20, 20, 20);
  layout->setSpacing(18);
  buildAccountSection();
  buildSyncSection();
  layout->addStretch(1);
  showAccount();
  showSync();

  signals_.onNotification(QString::fromLatin1(names::signal::kSyncChanged), this, [this] { syncChanged(); });
  signals_.onNotification(QString::fromLatin1(names::signal::kAccountChanged), this,
                          [this] { accountChanged(); });
}

// The sheets belong to the window, and their buttons call into this page: they go with it.
AccountSettingsView::~AccountSettingsView() {
  delete codeSheet_;
  delete joinSheet_;
}

QPushButton* AccountSettingsView::makeButton(const QString& text, const char* objectName) {
  auto* button = new QPushButton(text);
  button->setObjectName(QString::fromLatin1(objectName));
  return button;
}

void AccountSettingsView::buildAccountSection() {
  accountSection_ = new FormSection();

  auto* trailing = new QWidget();
  auto* row = new QHBoxLayout(trailing);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(10);
  accountStatus_ = makeStatusLabel("account.status");
  // A failure can take a sentence to explain: it takes the room the row has and wraps only beyond that.
  accountStatus_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  row->addWidget(accountStatus_, 1);

  // A spinner beside the text inside the button: the button's own label cannot hold a moving picture.
  signingIn_ = makeButton(QString(), "account.signingIn");
  signingIn_->setAccessibleName(tr("Signing In\u2026"));
  auto* signingInFace = new SpinnerFace(signingIn_, tr("Signing In\u2026"));
  signingInFace->label()->setObjectName(QStringLiteral("account.signingInText"));
  signingInFace->setShown(true);
  signingIn_->setEnabled(false);
  row->addWidget(signingIn_);

  signIn_ = makeButton(QString(), "account.signIn");
  connect(signIn_, &QPushButton::clicked, this, &AccountSettingsView::requestSignIn);
  row->addWidget(signIn_);
  signOut_ = makeButton(tr("Sign Out"), "account.signOut");
  // Nothing changes here until the agent publishes the signed-out state.
  connect(signOut_, &QPushButton::clicked, this, [this] { post(names::signal::kSignOut); });
  row->addWidget(signOut_);
  accountSection_->addRow(tr("Your account"), trailing);

  signInCode_ = new SignInCodePanel(environment_.openUrl);
  signInCodeRow_ = accountSection_->addRow(signInCode_, nullptr);
  signInCodeRow_->setObjectName(QStringLiteral("account.signInCodeRow"));

  auto* subscription = new QWidget();
  auto* subscriptionLayout = new QHBoxLayout(subscription);
  subscriptionLayout->setContentsMargins(0, 0, 0, 0);
  subscriptionLayout->setSpacing(10);
  subscriptionStatus_ = makeStatusLabel("account.subscriptionStatus");
  subscriptionLayout->addWidget(subscriptionStatus_);
  billing_ = makeButton(tr("Billing"), "account.billing");
  connect(billing_, &QPushButton::clicked, this, [this] { post(names::signal::kOpenBilling); });
  subscriptionLayout->addWidget(billing_);
  subscribe_ = makeButton(tr("Subscribe"), "account.subscribe");
  connect(subscribe_, &QPushButton::clicked, this,
          [this] { environment_.openUrl(appendingPath(*environment_.serviceBase, QStringLiteral("pricing"))); });
  subscriptionLayout->addWidget(subscribe_);
  subscriptionRow_ = accountSection_->addRow(tr("Subscription"), subscription);
  subscriptionRow_->setObjectName(QStringLiteral("account.subscriptionRow"));

  layout()->addWidget(accountSection_);
}

void AccountSettingsView::buildSyncSection() {
  syncSection_ = new FormSection();

  auto* leading = new QWidget();
  auto* label = new QHBoxLayout(leading);
  label->setContentsMargins(0, 0, 0, 0);
  label->setSpacing(10);
  syncTile_ = new SyncTile();
  syncTile_->setObjectName(QStringLiteral("account.syncTile"));
  label->addWidget(syncTile_, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout();
  texts->setSpacing(2);
  texts->addWidget(new QLabel(tr("Sync")));
  syncSentence_ = new FlowLabel();
  syncSentence_->setObjectName(QStringLiteral("account.syncSentence"));
  QFont caption = syncSentence_->font();
  caption.setPointSizeF(caption.pointSizeF() * 0.85);
  syncSentence_->setFont(caption);
  texts->addWidget(syncSentence_);
  label->addLayout(texts, 1);

  auto* trailing = new QWidget();
  auto* controls = new QHBoxLayout(trailing);
  controls->setContentsMargins(0, 0, 0, 0);
  controls->setSpacing(8);
  syncSpinner_ = new Spinner(14);
  syncSpinner_->setObjectName(QStringLiteral("account.syncSpinner"));
  controls->addWidget(syncSpinner_);
  syncToggle_ = new QCheckBox();
  syncToggle_->setObjectName(QStringLiteral("account.syncToggle"));
  syncToggle_->setAccessibleName(tr("Sync"));
  connect(syncToggle_, &QCheckBox::clicked, this, [this](bool on) {
    post(on ? names::signal::kSyncEnable : names::signal::kSyncDisable);
    // The switch shows the agent's answer, not the click: it stays as it was until "syncChanged".
    const QSignalBlocker quiet(syncToggle_);
    syncToggle_->setChecked(syncToggleValue());
  });
  controls->addWidget(syncToggle_);
  syncInfo_ = new QToolButton();
  syncInfo_->setObjectName(QStringLiteral("account.syncInfo"));
  syncInfo_->setIcon(symbolIcon(QStringLiteral("info.circle")));
  syncInfo_->setAutoRaise(true);
  syncInfo_->setAccessibleName(tr("About sync"));
  connect(syncInfo_, &QToolButton::clicked, this, [this] {
    auto* popover = new Popover(new AboutSyncPopover(), this);
    popover->showAt(*syncInfo_);
  });
  controls->addWidget(syncInfo_);
  syncSection_->addRow(leading, trailing);

  auto* advanced = new QWidget();
  auto* advancedLayout = new QHBoxLayout(advanced);
  advancedLayout->setContentsMargins(0, 0, 0, 0);
  auto* menuButton = new QToolButton();
  menuButton->setObjectName(QStringLiteral("account.syncAdvanced"));
  menuButton->setText(tr("Advanced\u2026"));
  menuButton->setPopupMode(QToolButton::InstantPopup);
  menuButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
  auto* menu = new QMenu(menuButton);
  QAction* saveKit = menu->addAction(symbolIcon(QStringLiteral("arrow.down.document")),
                                     tr("Save Recovery Kit\u2026"), this, &AccountSettingsView::saveRecoveryKit);
  saveKit->setObjectName(QStringLiteral("account.saveRecoveryKit"));
  menuButton->setMenu(menu);
  advancedLayout->addWidget(menuButton);
  advancedLayout->addStretch(1);
  auto* connectDevice = makeButton(tr("Connect Another Device\u2026"), "account.syncConnectDevice");
  connect(connectDevice, &QPushButton::clicked, this, [this] { post(names::signal::kSyncOffer); });
  advancedLayout->addWidget(connectDevice);
  advancedRow_ = syncSection_->addRow(advanced, nullptr);
  advancedRow_->setObjectName(QStringLiteral("account.advancedRow"));

  layout()->addWidget(syncSection_);
}

bool AccountSettingsView::syncToggleValue() const {
  if (!signedIn(state_)) return false;
  return syncIsOn(sync_) || sync_.kind() == SyncState::Case::starting || isPairing(sync_);
}

void AccountSettingsView::requestSignIn() {
  post(names::signal::kSignIn);
  loading_->open();
}

void AccountSettingsView::accountChanged() {
  state_ = AccountState::load(defaults_);
  if (state_.kind() == AccountState::Case::waiting && !loading_->isOpen()) loading_->open();
  showAccount();
  showSync();
}

void AccountSettingsView::syncChanged() {
  sync_ = SyncState::load(defaults_);
  showSync();
  applySyncToSheets();
}

void AccountSettingsView::showAccount() {
  const bool in = signedIn(state_);
  const bool loading = loading_->isOpen() && !in;
  const bool failed = state_.kind() == AccountState::Case::failed;
  QString status;
  if (loading)
    status = tr("Signing in\u2026");
  else if (in)
    status = state_.email().isEmpty() ? tr("Your Parcelmoor account") : state_.email();
  else if (failed)
    status = failureText(state_.failure());
  else
    status = tr("Not signed in");
  // An address breaks where a reader expects it to, not only after a hyphen; a reader of the screen
  // hears it as it is.
  const bool address = !loading && in && !state_.email().isEmpty();
  accountStatus_->setText(address ? breakableAddress(status) : status);
  accountStatus_->setAccessibleName(status);
  signingIn_->setVisible(loading);
  signOut_->setVisible(!loading && in);
  signIn_->setVisible(!loading && !in);
  signIn_->setText(failed ? tr("Try Again") : tr("Sign In"));

  // A sign-in that waits can be finished from any browser with its code, as long as it waits.
  const bool waiting = state_.kind() == AccountState::Case::waiting && !state_.signInCode().userCode.isEmpty();
  if (waiting) signInCode_->showCode(state_.signInCode());
  accountSection_->setRowVisible(signInCodeRow_, waiting);

  subscriptionStatus_->setText(state_.subscribed() ? tr("Parcelmoor+") : tr("Not subscribed"));
  billing_->setVisible(state_.subscribed());
  subscribe_->setVisible(!state_.subscribed());
  accountSection_->setRowVisible(subscriptionRow_, in);
}

void AccountSettingsView::showSync() {
  const bool in = signedIn(state_);
  syncTile_->setActive(in);
  syncSentence_->setText(sync_.sentence());
  setTextTone(syncSentence_, sync_.kind() == SyncState::Case::failed ? TextTone::warning : TextTone::secondary);
  syncSpinner_->setVisible(sync_.kind() == SyncState::Case::starting);
  {
    const QSignalBlocker quiet(syncToggle_);
    syncToggle_->setChecked(syncToggleValue());
  }
  syncToggle_->setEnabled(in);
  syncSection_->setRowVisible(advancedRow_, in && syncIsOn(sync_));
}

void AccountSettingsView::applySyncToSheets() {
  const std::optional<QString> wanted =
      sync_.kind() == SyncState::Case::offering ? std::optional(sync_.code()) : std::nullopt;
  const std::optional<QString> offered = codeSheet_ ? std::optional(codeSheet_->code()) : std::nullopt;
  if (wanted != offered) {
    if (codeSheet_) {
      codeSheet_->hide();
      codeSheet_->deleteLater();
      codeSheet_ = nullptr;
    }
    if (wanted) {
      codeSheet_ = new SyncCodeSheet(*wanted, [this] { post(names::signal::kSyncCancelPairing); }, window());
      codeSheet_->open();
    }
  }

  const bool pairing = isPairing(sync_);
  if (bool(joinSheet_) != pairing) {
    if (joinSheet_) {
      joinSheet_->hide();
      joinSheet_->deleteLater();
      joinSheet_ = nullptr;
    } else {
      joinSheet_ = new SyncJoinSheet(
          sync_.kind() == SyncState::Case::joining,
          [this](const QString& code) {
            defaults_.set(QString::fromLatin1(names::key::kPendingSyncCode), code);
            post(names::signal::kSyncSubmitCode);
          },
          [this](const QString& key) {
            // The agent turns sync on with whatever key is stored, and reports a key that does not fit.
            saveSyncKey(keychain_, key);
            post(names::signal::kSyncEnable);
          },
          [this] { post(names::signal::kSyncCancelPairing); }, window());
      joinSheet_->open();
    }
  }
  if (joinSheet_) joinSheet_->setJoining(sync_.kind() == SyncState::Case::joining);
}

void AccountSettingsView::saveRecoveryKit() {
  const std::optional<QString> key = loadSyncKey(keychain_);
  if (!key) return;
  const std::optional<QString> path =
      environment_.chooseSaveLocation(this, QString::fromLatin1(kRecoveryKitFileName));
  if (!path || path->isEmpty()) return;
  QString error;
  // The user keeps this file as the only way back to the synced apps: a kit that was not written must
  // not pass for one that was.
  if (!writeRecoveryKit(*path, recoveryKitText(*key, state_), &error))
    environment_.reportError(this, tr("The recovery kit could not be saved. %1").arg(error));
}

void AccountSettingsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  applySyncToSheets();
  if (state_.kind() == AccountState::Case::waiting) loading_->open();
  post(names::signal::kRefreshAccount);
}

void AccountSettingsView::post(const char* signal) {
  signals_.postDarwinNotification(QString::fromLatin1(signal));
}

}  // namespace pm::settings
