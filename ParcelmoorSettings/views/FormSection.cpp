#include "FormSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace pm::settings {

namespace {

constexpr int kRowHeight = 36;
constexpr int kRowMargin = 10;

}  // namespace

FormSection::FormSection(const QString& header, QWidget* parent) : QWidget(parent), box_(new QFrame(this)) {
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
  const QPalette colours = palette();
  box_->setStyleSheet(
      QStringLiteral("QFrame#formSectionBox { background: %1; border: 1px solid %2; border-radius: 8px; }")
          .arg(colours.color(QPalette::Base).name(), colours.color(QPalette::Midlight).darker(110).name()));
  rows_ = new QVBoxLayout(box_);
  rows_->setContentsMargins(0, 0, 0, 0);
  rows_->setSpacing(0);
  layout->addWidget(box_);
}

QWidget* FormSection::addRow(QWidget* leading, QWidget* trailing) {
  if (!rowWidgets_.isEmpty()) {
    auto* divider = new QFrame(box_);
    divider->setFixedHeight(1);
    divider->setStyleSheet(QStringLiteral("background: %1; margin: 0 %2px;")
                               .arg(palette().color(QPalette::Midlight).name())
                               .arg(kRowMargin));
    rows_->addWidget(divider);
    dividers_.append(divider);
  }
  auto* row = new QWidget(box_);
  row->setMinimumHeight(kRowHeight);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(kRowMargin, 6, kRowMargin, 6);
  layout->addWidget(leading, 1);
  if (trailing) layout->addWidget(trailing, 0, Qt::AlignRight | Qt::AlignVCenter);
  rows_->addWidget(row);
  rowWidgets_.append(row);
  return row;
}

QWidget* FormSection::addRow(const QString& label, QWidget* trailing) {
  auto* leading = new QLabel(label);
  if (trailing) leading->setBuddy(trailing);
  return addRow(leading, trailing);
}

void FormSection::setRowVisible(QWidget* row, bool visible) {
  row->setVisible(visible);
  updateDividers();
}

void FormSection::updateDividers() {
  // A divider shows only between two shown rows.
  bool shownAbove = !rowWidgets_.first()->isHidden();
  for (qsizetype i = 0; i < dividers_.size(); ++i) {
    const bool shown = !rowWidgets_[i + 1]->isHidden();
    dividers_[i]->setVisible(shownAbove && shown);
    shownAbove = shownAbove || shown;
  }
}

}  // namespace pm::settings
