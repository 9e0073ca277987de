#include "ConnectionEditor.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include "connectors/ICloudUploader.h"
#include "connectors/OAuthCredentials.h"
#include "model/ConnectionChecks.h"
#include "model/ConnectionSymbols.h"
#include "model/OAuthSupport.h"
#include "platform/Async.h"
#include "platform/Log.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "views/AccountConnectionSection.h"
#include "views/FormRow.h"
#include "views/FormSection.h"
#include "views/Popover.h"
#include "views/PortText.h"
#include "views/S3ConnectionSection.h"
#include "views/FlowLabel.h"
#include "views/SpinnerFace.h"
#include "views/SymbolIcon.h"
#include "views/SymbolPicker.h"
#include "views/SymbolView.h"
#include "views/TextField.h"
#include "views/TextTone.h"
#include "views/TildePath.h"

namespace pm::settings {

namespace {

using Kind = UploaderConfig::Kind;

}  // namespace

const QList<QList<Kind>>& ConnectionEditor::kindGroups() {
  static const QList<QList<Kind>> groups{{Kind::icloud, Kind::googleDrive, Kind::oneDrive, Kind::dropbox},
                                         {Kind::customS3, Kind::r2, Kind::ftp}};
  return groups;
}

ConnectionEditor::ConnectionEditor(UploaderConfig config, bool isNew, ConnectionServices services,
                                   QWidget* parent)
    : QDialog(parent), config_(std::move(config)), isNew_(isNew), services_(std::move(services)) {
  setObjectName(QStringLiteral("editor"));
  setWindowModality(Qt::WindowModal);
  setFixedSize(kSize);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* title = new QLabel(isNew_ ? tr("Create new app") : tr("Edit app"), this);
  title->setObjectName(QStringLiteral("editor.title"));
  QFont headline = title->font();
  headline.setBold(true);
  title->setFont(headline);
  title->setContentsMargins(20, 16, 20, 10);
  column->addWidget(title);
  setWindowTitle(title->text());
  // The heading stays while the form scrolls under it: a line keeps the rows from sliding into its letters.
  auto* headingDivider = new QFrame(this);
  headingDivider->setObjectName(QStringLiteral("editor.headingDivider"));
  headingDivider->setFrameShape(QFrame::HLine);
  headingDivider->setFrameShadow(QFrame::Sunken);
  column->addWidget(headingDivider);

  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("editor.scroll"));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* form = new QWidget();
  form_ = new QVBoxLayout(form);
  form_->setContentsMargins(20, 12, 20, 12);
  form_->setSpacing(18);
  form_->addWidget(buildGeneral());
  form_->addStretch(1);
  scroll->setWidget(form);
  column->addWidget(scroll, 1);

  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);
  column->addWidget(divider);

  // Why a test failed, whole, above the buttons: it is what the user must read to put the connection right.
  auto* footerColumn = new QVBoxLayout();
  footerColumn->setContentsMargins(12, 12, 12, 12);
  footerColumn->setSpacing(10);
  failure_ = new QWidget(this);
  failure_->setObjectName(QStringLiteral("editor.failure"));
  auto* failureLine = new QHBoxLayout(failure_);
  failureLine->setContentsMargins(0, 0, 0, 0);
  failureLine->setSpacing(6);
  failureLine->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 16, SymbolTone::warning,
                                        failure_),
                         0, Qt::AlignTop);
  failureText_ = new FlowLabel(QString(), failure_);
  failureText_->setObjectName(QStringLiteral("editor.failureText"));
  failureText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  setTextTone(failureText_, TextTone::warning);
  failureLine->addWidget(failureText_, 1);
  footerColumn->addWidget(failure_);
  auto* footer = new QHBoxLayout();
  footerColumn->addLayout(footer);
  testButton_ = new QPushButton(this);
  testButton_->setObjectName(QStringLiteral("editor.test"));
  testButton_->setAutoDefault(false);
  connect(testButton_, &QPushButton::clicked, this, &ConnectionEditor::runTest);
  testingFace_ = new SpinnerFace(testButton_, tr("Testing…"));
  testingFace_->label()->setObjectName(QStringLiteral("editor.testingText"));
  testButton_->setVisible(config_.kind != Kind::parcelmoor);
  footer->addWidget(testButton_);
  footer->addStretch(1);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  cancel->setObjectName(QStringLiteral("editor.cancel"));
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, [this] {
    Q_EMIT cancelled();
    reject();
  });
  auto* saveButton = new QPushButton(tr("Save"), this);
  saveButton->setObjectName(QStringLiteral("editor.save"));
  saveButton->setDefault(true);
  connect(saveButton, &QPushButton::clicked, this, &ConnectionEditor::save);
  footer->addWidget(cancel);
  footer->addWidget(saveButton);
  column->addLayout(footerColumn);

  loadCredentials();
  buildKindSection();
  showState();
}

QWidget* ConnectionEditor::buildGeneral() {
  auto* general = new FormSection();
  if (config_.kind != Kind::parcelmoor) {
    type_ = new QComboBox();
    type_->setObjectName(QStringLiteral("editor.type"));
    type_->setAccessibleName(tr("Type"));
    for (const QList<Kind>& group : kindGroups()) {
      if (type_->count() > 0) type_->insertSeparator(type_->count());
      for (const Kind kind : group) type_->addItem(defaultTitle(kind), int(kind));
    }
    type_->setCurrentIndex(type_->findData(int(config_.kind)));
    connect(type_, &QComboBox::activated, this,
            [this](int index) { setKind(Kind(type_->itemData(index).toInt())); });
    general->addRow(tr("Type"), type_);
  }

  name_ = textField(tr("Name"), "editor.name", config_.name);
  // Until the user names it, the connection is called after its kind.
  name_->setPlaceholderText(defaultTitle(config_.kind));
  connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) { config_.name = text; });
  general->addRow(tr("Name"), name_);

  icon_ = new QToolButton();
  icon_->setObjectName(QStringLiteral("editor.icon"));
  icon_->setAccessibleName(tr("Icon"));
  icon_->setAutoRaise(true);
  icon_->setIconSize(QSize(20, 20));
  connect(icon_, &QToolButton::clicked, this, &ConnectionEditor::pickSymbol);
  general->addRow(tr("Icon"), icon_);
  return general;
}

void ConnectionEditor::buildKindSection() {
  if (kindSection_) kindSection_->deleteLater();
  kindSection_ = nullptr;
  accountSection_ = nullptr;
  s3Section_ = nullptr;
  ftpUser_ = ftpPassword_ = port_ = nullptr;
  switch (config_.kind) {
    case Kind::parcelmoor:
      return;
    case Kind::customS3:
    case Kind::r2:
      kindSection_ = s3Section_ =
          new S3ConnectionSection(config_, credentials_, services_.serviceBase, services_.openUrl);
      break;
    case Kind::googleDrive:
    case Kind::oneDrive:
    case Kind::dropbox:
      kindSection_ = accountSection_ = new AccountConnectionSection(config_);
      connect(accountSection_, &AccountConnectionSection::connectRequested, this,
              &ConnectionEditor::connectAccount);
      break;
    case Kind::icloud:
      kindSection_ = buildSyncedFolderSection();
      break;
    case Kind::ftp:
      kindSection_ = buildFTPSection();
      break;
  }
  form_->insertWidget(1, kindSection_);
}

namespace {

// A path the user may want to copy into a terminal, as a caption.
QLabel* selectableCaption(const QString& text, const char* objectName) {
  auto* label = new QLabel(text);
  label->setObjectName(QString::fromLatin1(objectName));
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  makeCaption(label);
  return label;
}

}  // namespace

QWidget* ConnectionEditor::buildSyncedFolderSection() {
  auto* section = new FormSection(defaultTitle(Kind::icloud));
  section->setObjectName(QStringLiteral("editor.syncedFolderSection"));
  auto* folder = textField(tr("Folder"), "editor.folder", config_.keyPrefix);
  folder->setPlaceholderText(tr("optional"));
  connect(folder, &QLineEdit::textEdited, this, [this](const QString& text) { config_.keyPrefix = text; });
  section->addRow(new FormRow(tr("Folder"),
                              tr("Inside Parcelmoor's synced folder. Uploads still get their own dated folder "
                                 "in it."),
                              folder),
                  nullptr);
  // This computer has no iCloud: the kind stands for a folder that a sync client of the user's choice
  // carries to the other devices.
  auto* note = new QLabel(tr("Files are copied into a folder that your sync client keeps in step."));
  note->setObjectName(QStringLiteral("editor.syncedFolderNote"));
  note->setWordWrap(true);
  makeCaption(note);
  section->addRow(note, nullptr);
  // Until its root exists the kind is switched off, and nothing else says which folder that is: name it
  // as the user would type it, selectable for a terminal.
  auto* how = new QLabel(tr("Parcelmoor's synced folder is the folder below. Create it, or make it a link to "
                            "the folder your sync client keeps:"));
  how->setObjectName(QStringLiteral("editor.syncedFolderHow"));
  how->setWordWrap(true);
  makeCaption(how);
  // The folder to make is what the user acts on: it reads as text, not as a caption.
  auto* root = new QLabel(tildePath(ICloudUploader::standardRoot()));
  root->setObjectName(QStringLiteral("editor.syncedFolderRoot"));
  root->setWordWrap(true);
  root->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  auto* where = new QWidget;
  auto* lines = new QVBoxLayout(where);
  lines->setContentsMargins(0, 0, 0, 0);
  lines->addWidget(how);
  lines->addWidget(root);
  lines->addWidget(selectableCaption(tr("Uploads land in %1").arg(syncedFolderPath()), "editor.syncedFolderPath"));
  section->addRow(where, nullptr);
  return section;
}

QString ConnectionEditor::syncedFolderPath() {
  return tildePath(QDir(ICloudUploader::standardRoot())
                       .filePath(QStringLiteral("%1/%2").arg(QLatin1String(ICloudUploader::kContainer),
                                                             QLatin1String(ICloudUploader::kDocuments))));
}

QWidget* ConnectionEditor::buildFTPSection() {
  auto* section = new FormSection(tr("FTP Configuration"));
  section->setObjectName(QStringLiteral("editor.ftpSection"));
  auto* server = textField(tr("Server"), "editor.server", config_.endpoint);
  server->setPlaceholderText(QStringLiteral("ftp.example.com"));
  fitPlaceholder(server);
  connect(server, &QLineEdit::textEdited, this, [this](const QString& text) { config_.endpoint = text; });
  section->addRow(tr("Server"), server);

  auto* security = new QComboBox();
  security->setObjectName(QStringLiteral("editor.security"));
  security->setAccessibleName(tr("Security"));
  security->addItem(tr("TLS"), int(FTPSecurity::explicitTLS));
  security->addItem(tr("TLS on its own port"), int(FTPSecurity::implicitTLS));
  security->addItem(tr("None"), int(FTPSecurity::plain));
  security->setCurrentIndex(security->findData(int(config_.ftpSecurity)));
  section->addRow(tr("Security"), security);

  auto* warning = new QWidget();
  auto* warningLine = new QHBoxLayout(warning);
  warningLine->setContentsMargins(0, 0, 0, 0);
  auto* warningIcon = new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 14, SymbolTone::warning);
  auto* warningText =
      new FlowLabel(tr("Without TLS your username, password and files cross the network unencrypted."));
  warningText->setObjectName(QStringLiteral("editor.plainWarningText"));
  makeCaption(warningText);
  setTextTone(warningText, TextTone::warning);
  warningLine->addWidget(warningIcon, 0, Qt::AlignTop);
  warningLine->addWidget(warningText, 1);
  QWidget* warningRow = section->addRow(warning, nullptr);
  warningRow->setObjectName(QStringLiteral("editor.plainWarning"));

  port_ = textField(tr("Port"), "editor.port", portText(config_.port));
  // Digits only: a letter typed here would show while the port stored ignores it.
  port_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
  connect(port_, &QLineEdit::textEdited, this, [this](const QString& text) { config_.port = portFromText(text); });
  section->addRow(new FormRow(tr("Port"), tr("Only if the server uses an unusual one."), port_), nullptr);

  auto showSecurity = [this, section, warningRow] {
    section->setRowVisible(warningRow, config_.ftpSecurity == FTPSecurity::plain);
    port_->setPlaceholderText(config_.ftpSecurity == FTPSecurity::implicitTLS ? QStringLiteral("990")
                                                                               : QStringLiteral("21"));
  };
  connect(security, &QComboBox::activated, this, [this, security, showSecurity](int index) {
    config_.ftpSecurity = FTPSecurity(security->itemData(index).toInt());
    showSecurity();
  });
  showSecurity();

  auto* folder = textField(tr("Folder"), "editor.folder", config_.keyPrefix);
  folder->setPlaceholderText(tr("optional"));
  connect(folder, &QLineEdit::textEdited, this, [this](const QString& text) { config_.keyPrefix = text; });
  section->addRow(new FormRow(tr("Folder"), tr("Uploads still get their own dated folder inside it."), folder),
                  nullptr);

  ftpUser_ = textField(tr("Username"), "editor.username", ftp_.username);
  connect(ftpUser_, &QLineEdit::textEdited, this, [this](const QString& text) { ftp_.username = text; });
  section->addRow(tr("Username"), ftpUser_);
  ftpPassword_ = textField(tr("Password"), "editor.password", ftp_.password);
  ftpPassword_->setEchoMode(QLineEdit::Password);
  connect(ftpPassword_, &QLineEdit::textEdited, this, [this](const QString& text) { ftp_.password = text; });
  section->addRow(tr("Password"), ftpPassword_);
  return section;
}

void ConnectionEditor::setKind(Kind kind) {
  if (kind == config_.kind) return;
  config_.kind = kind;
  config_.endpoint.clear();
  config_.region.clear();
  if (type_) type_->setCurrentIndex(type_->findData(int(kind)));
  name_->setPlaceholderText(defaultTitle(kind));
  buildKindSection();
  showState();
}

void ConnectionEditor::loadCredentials() {
  // Whatever the kind: a later switch of kind shows what the keychain holds for this connection.
  if (auto stored = S3Credentials::load(services_.keychain, config_.id)) credentials_ = std::move(*stored);
  if (auto stored = FTPCredentials::load(services_.keychain, config_.id)) ftp_ = std::move(*stored);
}

void ConnectionEditor::saveCredentials() {
  switch (config_.kind) {
    case Kind::ftp:
      FTPCredentials::save(services_.keychain, ftp_, config_.id);
      break;
    case Kind::icloud:
    case Kind::googleDrive:
    case Kind::oneDrive:
      break;
    case Kind::parcelmoor:
    case Kind::customS3:
    case Kind::r2:
    case Kind::dropbox:
      S3Credentials::save(services_.keychain, credentials_, config_.id);
      break;
  }
}

void ConnectionEditor::save() {
  saveCredentials();
  Q_EMIT saved(config_);
  accept();
}

void ConnectionEditor::runTest() {
  if (testing_) return;
  testing_ = true;
  test_.reset();
  showState();
  saveCredentials();
  detachTask(awaitTest(QPointer<ConnectionEditor>(this), services_.checks, config_), lcApi,
             "Testing the edited connection");
}

QCoro::Task<> ConnectionEditor::awaitTest(QPointer<ConnectionEditor> editor, ConnectionChecks& checks,
                                          UploaderConfig config) {
  std::optional<QString> failure = co_await checks.test(std::move(config));
  if (!editor) co_return;
  editor->test_ = ProbeResult::fromTestOutcome(std::move(failure));
  editor->testing_ = false;
  editor->showState();
}

void ConnectionEditor::connectAccount() {
  const std::optional<OAuthProvider> provider = oauthProvider(config_.kind);
  if (!provider) return;
  if (!isOAuthClientConfigured(*provider, services_.bundle)) {
    test_ = ProbeResult::failed(tr("This build cannot connect a %1 account.").arg(defaultTitle(config_.kind)));
    showState();
    return;
  }
  std::optional<QString> known;
  if (auto stored = OAuthCredentials::load(services_.keychain, config_.id, *provider))
    known = stored->refreshToken;
  connecting_ = true;
  showState();
  services_.defaults.set(QString::fromLatin1(names::key::kPendingDriveConnect),
                         config_.id.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('|') +
                             rawValue(config_.kind));
  services_.signals.postDarwinNotification(QString::fromLatin1(names::signal::kConnectDrive));
  detachTask(waitForAccount(QPointer<ConnectionEditor>(this), services_.keychain, config_.id, *provider,
                            std::move(known), services_.driveConnect),
             lcDrive, "Waiting for a drive account");
}

QCoro::Task<> ConnectionEditor::waitForAccount(QPointer<ConnectionEditor> editor, Keychain& keychain, QUuid id,
                                               OAuthProvider provider, std::optional<QString> knownRefreshToken,
                                               DriveConnectTiming timing) {
  for (int attempt = 0; attempt < timing.attempts; ++attempt) {
    co_await sleepFor(timing.interval);
    // A closed sheet has nobody left to show the account to.
    if (!editor) co_return;
    const std::optional<OAuthCredentials> found = OAuthCredentials::load(keychain, id, provider);
    if (found && (!knownRefreshToken || found->refreshToken != *knownRefreshToken)) {
      editor->config_.account = found->account;
      editor->test_ = ProbeResult::reachable();
      editor->connecting_ = false;
      editor->showState();
      co_return;
    }
  }
  if (!editor) co_return;
  editor->test_ = ProbeResult::failed(tr("No account arrived. Try connecting again."));
  editor->connecting_ = false;
  editor->showState();
}

void ConnectionEditor::pickSymbol() {
  if (picker_) return;
  picker_ = new SymbolPicker(config_.symbol, defaultSymbol(config_.kind));
  auto* popover = new Popover(picker_, this);
  connect(picker_, &SymbolPicker::symbolChanged, this, [this](const QString& symbol) {
    config_.symbol = symbol;
    showIcon();
  });
  // Every pick closes the picker.
  connect(picker_, &SymbolPicker::picked, popover, &QWidget::close);
  popover->showAt(*icon_);
}

QString ConnectionEditor::successText(Kind kind) {
  switch (kind) {
    case Kind::ftp:
      return tr("Reached the server");
    case Kind::icloud:
      return tr("The synced folder is ready");
    case Kind::customS3:
    case Kind::r2:
      return tr("Reached the bucket");
    case Kind::parcelmoor:
      return tr("Reached Parcelmoor");
    case Kind::googleDrive:
      return tr("Google Drive is connected");
    case Kind::oneDrive:
      return tr("OneDrive is connected");
    case Kind::dropbox:
      return tr("Dropbox is connected");
  }
  Q_UNREACHABLE();
  return QString();
}

QString ConnectionEditor::testLabel() const {
  if (test_ && test_->isReachable()) return successText(config_.kind);
  if (testing_) return tr("Testing…");
  // A failure is told whole above the buttons; the button offers to test again.
  return tr("Test Connection");
}

QString ConnectionEditor::failureMessage() const {
  return test_ && !test_->isReachable() ? test_->message() : QString();
}

void ConnectionEditor::showIcon() { icon_->setIcon(symbolIcon(displaySymbol(config_))); }

void ConnectionEditor::showState() {
  showIcon();
  const bool running = testing_ && !test_;
  testingFace_->setShown(running);
  testButton_->setText(running ? QString() : testLabel());
  testButton_->setAccessibleName(testLabel());
  testButton_->setEnabled(!testing_);
  const bool reachable = test_ && test_->isReachable();
  testButton_->setIcon(reachable ? symbolIcon(QStringLiteral("checkmark.circle.fill"), SymbolTone::success) : QIcon());
  failureText_->setText(failureMessage());
  failure_->setVisible(!failureMessage().isEmpty());
  if (accountSection_) accountSection_->refresh(connecting_);
}

}  // namespace pm::settings
