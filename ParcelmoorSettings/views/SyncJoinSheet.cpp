#include "SyncJoinSheet.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "sync/SyncCode.h"
#include "sync/SyncKey.h"
#include "views/Spinner.h"

namespace pm::settings {

namespace {

constexpr int kCodeFontSize = 30;
constexpr int kKeyFontSize = 17;

}  // namespace

SyncJoinSheet::SyncJoinSheet(bool joining, Submit onSubmit, Submit onRecover, std::function<void()> onCancel,
                             QWidget* parent)
    : PairingSheet(std::move(onCancel), parent),
      joining_(joining),
      onSubmit_(std::move(onSubmit)),
      onRecover_(std::move(onRecover)) {
  setObjectName(QStringLiteral("syncJoinSheet"));
  title_ = new QLabel();
  sentence_ = makeNote(QString());
  addHeader(title_, sentence_);

  field_ = new QLineEdit();
  field_->setObjectName(QStringLiteral("syncJoinSheet.field"));
  field_->setAccessibleName(tr("Code"));
  field_->setAlignment(Qt::AlignCenter);
  field_->setFrame(false);
  field_->setStyleSheet(QStringLiteral("QLineEdit { background: %1; border-radius: 10px; padding: 12px 8px; }")
                            .arg(palette().color(QPalette::Window).darker(108).name()));
  connect(field_, &QLineEdit::textChanged, this, &SyncJoinSheet::showReadiness);
  auto* fieldRow = new QVBoxLayout();
  fieldRow->setContentsMargins(24, 18, 24, 18);
  fieldRow->addWidget(field_);
  body()->addLayout(fieldRow);

  waiting_ = new QWidget();
  waiting_->setObjectName(QStringLiteral("syncJoinSheet.waiting"));
  auto* waitingRow = new QHBoxLayout(waiting_);
  waitingRow->setContentsMargins(0, 0, 0, 0);
  waitingRow->setSpacing(8);
  waitingRow->addStretch(1);
  waitingRow->addWidget(new Spinner(14));
  auto* note = makeNote(tr("Waiting for the other device\u2026"));
  note->setWordWrap(false);
  waitingRow->addWidget(note);
  waitingRow->addStretch(1);

  modeSwitch_ = new QPushButton();
  modeSwitch_->setObjectName(QStringLiteral("syncJoinSheet.modeSwitch"));
  modeSwitch_->setFlat(true);
  modeSwitch_->setAutoDefault(false);
  modeSwitch_->setCursor(Qt::PointingHandCursor);
  modeSwitch_->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; }")
                                 .arg(palette().color(QPalette::Link).name()));
  connect(modeSwitch_, &QPushButton::clicked, this, [this] { setRecovering(!recovering_); });

  auto* below = new QVBoxLayout();
  below->setContentsMargins(0, 0, 0, 18);
  below->addWidget(waiting_);
  below->addWidget(modeSwitch_, 0, Qt::AlignHCenter);
  body()->addLayout(below);

  join_ = new QPushButton();
  join_->setObjectName(QStringLiteral("syncJoinSheet.join"));
  connect(join_, &QPushButton::clicked, this, &SyncJoinSheet::submit);
  addFooter(join_);

  showMode();
  setJoining(joining);
}

void SyncJoinSheet::setJoining(bool joining) {
  joining_ = joining;
  field_->setEnabled(!joining_);
  waiting_->setVisible(joining_);
  modeSwitch_->setVisible(!joining_);
  showReadiness();
}

void SyncJoinSheet::setRecovering(bool recovering) {
  recovering_ = recovering;
  field_->clear();
  showMode();
}

bool SyncJoinSheet::isReady() const {
  const int wanted = recovering_ ? kSyncKeyLength : SyncCode::kPairingCodeLength;
  return SyncCode::normalize(field_->text()).size() == wanted;
}

void SyncJoinSheet::submit() {
  // Return reaches the default button only while it is enabled; a direct call is held to the same rule.
  if (joining_ || !isReady()) return;
  const QString normalized = SyncCode::normalize(field_->text());
  const Submit& deliver = recovering_ ? onRecover_ : onSubmit_;
  if (deliver) deliver(normalized);
}

void SyncJoinSheet::showMode() {
  setWindowTitle(recovering_ ? tr("Restore sync") : tr("Join sync"));
  title_->setText(recovering_ ? tr("Restore sync") : tr("Join sync"));
  sentence_->setText(recovering_
                         ? tr("Enter the sync key from your recovery kit. It unlocks the apps this account synced.")
                         : tr("On a device that already syncs, click Connect Another Device and type the code it "
                              "shows."));
  field_->setPlaceholderText(recovering_ ? QStringLiteral("XXXX-XXXX-XXXX-XXXX-XXXX") : QStringLiteral("ABC-123"));
  QFont monospaced = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  monospaced.setPixelSize(recovering_ ? kKeyFontSize : kCodeFontSize);
  monospaced.setWeight(QFont::DemiBold);
  field_->setFont(monospaced);
  modeSwitch_->setText(recovering_ ? tr("Enter a code instead\u2026") : tr("Use a recovery kit instead\u2026"));
  join_->setText(recovering_ ? tr("Restore") : tr("Join"));
  showReadiness();
}

void SyncJoinSheet::showReadiness() {
  join_->setEnabled(!joining_ && isReady());
}

}  // namespace pm::settings
