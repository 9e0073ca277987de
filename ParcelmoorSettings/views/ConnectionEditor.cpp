#include "ConnectionEditor.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
#include "views/ShortenedText.h"
#include "views/SymbolIcon.h"
#include "views/SymbolPicker.h"
#include "views/TildePath.h"

namespace pm::settings {

namespace {

using Kind = UploaderConfig::Kind;

QLineEdit* textField(const QString& title, const char* objectName, const QString& text) {
  auto* field = new QLineEdit(text);
  field->setObjectName(QString::fromLatin1(objectName));
  field->setAccessibleName(title);
  field->setAlignment(Qt::AlignRight);
  field->setMinimumWidth(200);
  return field;
}

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
  title->setContentsMargins(20, 16, 20, 0);
  column->addWidget(title);
  setWindowTitle(title->text());

  auto* scroll = new QScrollArea(this);
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

  auto* footer = new QHBoxLayout();
  footer->setContentsMargins(12, 12, 12, 12);
  testButton_ = new QPushButton(this);
  testButton_->setObjectName(QStringLiteral("editor.test"));
  testButton_->setAutoDefault(false);
  connect(testButton_, &QPushButton::clicked, this, &ConnectionEditor::runTest);
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
  column->addLayout(footer);

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
  auto* where = new QLabel(syncedFolderPath());
  where->setObjectName(QStringLiteral("editor.syncedFolderPath"));
  where->setWordWrap(true);
  where->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  makeCaption(where);
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
  auto* warningIcon = new QLabel();
  warningIcon->setPixmap(symbolIcon(QStringLiteral("exclamationmark.triangle.fill")).pixmap(14, 14));
  auto* warningText =
      new QLabel(tr("Without TLS your username, password and files cross the network unencrypted."));
  warningText->setWordWrap(true);
  makeCaption(warningText);
  warningText->setStyleSheet(QStringLiteral("color: #e67e00;"));
  warningLine->addWidget(warningIcon, 0, Qt::AlignTop);
  warningLine->addWidget(warningText, 1);
  QWidget* warningRow = section->addRow(warning, nullptr);
  warningRow->setObjectName(QStringLiteral("editor.plainWarning"));

  port_ = textField(tr("Port"), "editor.port", portText(config_.port));
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
  if (test_) return shortenedText(test_->message(), kFailureLength);
  if (testing_) return tr("Testing…");
  return tr("Test Connection");
}

QString ConnectionEditor::testToolTip() const {
  return test_ && !test_->isReachable() ? test_->message() : QString();
}

void ConnectionEditor::showIcon() { icon_->setIcon(symbolIcon(displaySymbol(config_))); }

void ConnectionEditor::showState() {
  showIcon();
  // Cancel and Save keep their room; what does not fit is in the tooltip.
  constexpr int kTestTextWidth = 230;
  testButton_->setText(testButton_->fontMetrics().elidedText(testLabel(), Qt::ElideRight, kTestTextWidth));
  testButton_->setToolTip(testToolTip());
  testButton_->setEnabled(!testing_);
  if (test_ && test_->isReachable()) {
    testButton_->setIcon(symbolIcon(QStringLiteral("checkmark.circle.fill")));
    testButton_->setStyleSheet(QStringLiteral("color: #2e9e44;"));
  } else if (test_) {
    testButton_->setIcon(symbolIcon(QStringLiteral("exclamationmark.triangle.fill")));
    testButton_->setStyleSheet(QStringLiteral("color: #e67e00;"));
  } else {
    testButton_->setIcon(QIcon());
    testButton_->setStyleSheet(QString());
  }
  if (accountSection_) accountSection_->refresh(connecting_);
}

}  // namespace pm::settings
