#include "FormSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "views/FormBox.h"
#include "views/FlowLabel.h"

namespace pm::settings {

namespace {

constexpr int kRowHeight = 36;
constexpr int kRowMargin = FormBox::kRowMargin;

}  // namespace

FormSection::FormSection(const QString& header, QWidget* parent) : QWidget(parent), box_(new FormBox(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  if (!header.isEmpty()) {
    auto* title = new QLabel(header, this);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    title->setContentsMargins(kRowMargin, 0, 0, 0);
    layout->addWidget(title);
  }
  box_->setObjectName(QStringLiteral("formSectionBox"));
  rows_ = new QVBoxLayout(box_);
  rows_->setContentsMargins(0, 0, 0, 0);
  rows_->setSpacing(0);
  layout->addWidget(box_);
}

QWidget* FormSection::addRow(QWidget* leading, QWidget* trailing) {
  auto* row = new QWidget(box_);
  row->setProperty("formRow", true);
  row->setMinimumHeight(kRowHeight);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(kRowMargin, 6, kRowMargin, 6);
  layout->addWidget(leading, 1);
  if (trailing) layout->addWidget(trailing, 0, Qt::AlignRight | Qt::AlignVCenter);
  rows_->addWidget(row);
  return row;
}

QWidget* FormSection::addRow(const QString& label, QWidget* trailing) {
  auto* leading = new FlowLabel(label);
  if (trailing) leading->setBuddy(trailing);
  return addRow(leading, trailing);
}

void FormSection::setRowVisible(QWidget* row, bool visible) {
  row->setVisible(visible);
  box_->update();
}

}  // namespace pm::settings
