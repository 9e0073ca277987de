#include "FormRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "views/FlowLabel.h"
#include "views/TextTone.h"

namespace pm::settings {

void makeCaption(QWidget* label) {
  QFont caption = label->font();
  caption.setPointSizeF(caption.pointSizeF() * 0.85);
  label->setFont(caption);
  setTextTone(label, TextTone::secondary);
}

FormRow::FormRow(const QString& title, const QString& hint, QWidget* content, QWidget* parent)
    : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  auto* line = new QHBoxLayout();
  auto* label = new FlowLabel(title, this);
  label->setBuddy(content);
  line->addWidget(label);
  line->addStretch(1);
  line->addWidget(content);
  if (auto* field = qobject_cast<QLineEdit*>(content)) {
    field->setAlignment(Qt::AlignRight);
    field->setMinimumWidth(200);
  }
  column->addLayout(line);
  auto* hintLabel = new QLabel(hint, this);
  hintLabel->setWordWrap(true);
  makeCaption(hintLabel);
  column->addWidget(hintLabel);
}

}  // namespace pm::settings
