#include "AccountConnectionSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/FormRow.h"
#include "views/FormSection.h"
#include "views/TextTone.h"

namespace pm::settings {

AccountConnectionSection::AccountConnectionSection(UploaderConfig& config, QWidget* parent)
    : QWidget(parent), config_(config) {
  setObjectName(QStringLiteral("editor.accountSection"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  // The kind's own title: the connection's name is not the service's.
  auto* section = new FormSection(defaultTitle(config.kind), this);
  layout->addWidget(section);

  auto* accountBox = new QWidget();
  auto* accountLine = new QHBoxLayout(accountBox);
  accountLine->setContentsMargins(0, 0, 0, 0);
  accountLine->setSpacing(8);
  account_ = new QLabel(accountBox);
  account_->setObjectName(QStringLiteral("editor.account"));
  connect_ = new QPushButton(accountBox);
  connect_->setObjectName(QStringLiteral("editor.connect"));
  accountLine->addWidget(account_);
  accountLine->addWidget(connect_);
  section->addRow(tr("Account"), accountBox);
  connect(connect_, &QPushButton::clicked, this, &AccountConnectionSection::connectRequested);

  folder_ = new QLineEdit(config.keyPrefix);
  folder_->setObjectName(QStringLiteral("editor.folder"));
  folder_->setAccessibleName(tr("Folder"));
  folder_->setPlaceholderText(tr("optional"));
  connect(folder_, &QLineEdit::textEdited, this, [this](const QString& text) { config_.keyPrefix = text; });
  section->addRow(new FormRow(tr("Folder"), folderHint(config.kind), folder_), nullptr);

  auto* noteLabel = new QLabel(note(config.kind));
  noteLabel->setObjectName(QStringLiteral("editor.accountNote"));
  noteLabel->setWordWrap(true);
  makeCaption(noteLabel);
  section->addRow(noteLabel, nullptr);
  refresh(false);
}

void AccountConnectionSection::refresh(bool connecting) {
  const bool hasAccount = !config_.account.isEmpty();
  account_->setText(hasAccount ? config_.account : tr("Not connected"));
  setTextTone(account_, hasAccount ? TextTone::primary : TextTone::secondary);
  connect_->setText(buttonTitle(connecting, config_.account));
  connect_->setEnabled(!connecting);
}

QString AccountConnectionSection::buttonTitle(bool connecting, const QString& account) {
  if (connecting) return tr("Waiting for your browser…");
  return account.isEmpty() ? tr("Connect…") : tr("Change…");
}

QString AccountConnectionSection::folderHint(UploaderConfig::Kind kind) {
  if (kind == UploaderConfig::Kind::googleDrive)
    return tr("Inside My Drive. Uploads still get their own dated folder in it.");
  return tr("Inside Parcelmoor's own folder. Uploads still get their own dated folder in it.");
}

QString AccountConnectionSection::note(UploaderConfig::Kind kind) {
  switch (kind) {
    case UploaderConfig::Kind::googleDrive:
      return tr("Parcelmoor can only see the files it puts there itself — not the rest of your Drive.");
    case UploaderConfig::Kind::oneDrive:
      return tr("Everything lands in a folder OneDrive makes for Parcelmoor. The rest of your drive is not "
                "visible to it.");
    case UploaderConfig::Kind::dropbox:
      return tr("Everything lands in a folder Dropbox makes for Parcelmoor, inside Apps. The rest of your "
                "Dropbox is not visible to it.");
    default:
      return QString();
  }
}

}  // namespace pm::settings
