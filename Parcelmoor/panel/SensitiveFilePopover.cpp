#include "panel/SensitiveFilePopover.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Bucket.h"
#include "panel/PopoverStyle.h"

namespace pm {

namespace {

constexpr int kContentWidth = 220;
constexpr int kPadding = 10;

}  // namespace

SensitiveFilePopover::SensitiveFilePopover(const BucketItem& item, QWidget* parent)
    : QWidget(parent), upload_(new QPushButton(tr("Upload Anyway"), this)), remove_(new QPushButton(tr("Remove"), this)) {
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  stack->setSpacing(0);

  auto* title = new QLabel(tr("Sensitive file"), this);
  title->setObjectName(QStringLiteral("title"));
  title->setFont(headlineFont(font()));
  stack->addWidget(title);

  auto* explanation = new QLabel(
      tr("\"%1\" looks like it holds sensitive data, keys or credentials. It is waiting for approval before being "
         "uploaded.")
          .arg(item.name()),
      this);
  explanation->setObjectName(QStringLiteral("explanation"));
  explanation->setTextFormat(Qt::PlainText);
  explanation->setWordWrap(true);
  explanation->setFont(bodyFont(font()));
  explanation->setContentsMargins(0, 3, 0, 10);
  styleLabel(*explanation, TextEmphasis::secondary);
  stack->addWidget(explanation);

  auto* row = new QHBoxLayout;
  row->setSpacing(8);
  upload_->setDefault(true);
  // The destructive choice reads as such, as the platform's destructive buttons do, and as well as the
  // other texts on the button's ground of a light or a dark theme.
  setReadableButtonText(*remove_, QColor(0xd7, 0x26, 0x1e));
  row->addWidget(upload_);
  row->addWidget(remove_);
  row->addStretch();
  stack->addLayout(row);

  setFixedWidth(kContentWidth + 2 * kPadding);
  connect(upload_, &QPushButton::clicked, this, &SensitiveFilePopover::uploadRequested);
  connect(remove_, &QPushButton::clicked, this, &SensitiveFilePopover::removeRequested);
}

void SensitiveFilePopover::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    upload_->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace pm
