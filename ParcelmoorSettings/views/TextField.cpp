#include "TextField.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace pm::settings {

namespace {

constexpr int kNarrowest = 200;

}  // namespace

QLineEdit* textField(const QString& title, const char* objectName, const QString& text) {
  auto* field = new QLineEdit(text);
  field->setObjectName(QString::fromLatin1(objectName));
  field->setAccessibleName(title);
  field->setAlignment(Qt::AlignRight);
  field->setMinimumWidth(kNarrowest);
  return field;
}

void fitPlaceholder(QLineEdit* field) {
  // The style's frame and the field's own margins around the text, as QLineEdit measures itself.
  QStyleOptionFrame option;
  option.initFrom(field);
  option.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field) : 0;
  const QMargins margins = field->textMargins();
  const int text = field->fontMetrics().horizontalAdvance(field->placeholderText());
  // Two pixels either side that the field keeps, and some to spare: it cuts a text that only just fits.
  const QSize content(text + margins.left() + margins.right() + 4 + 8, field->fontMetrics().height());
  const int width = field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, content, field).width();
  field->setMinimumWidth(std::max(field->minimumWidth(), width));
}

}  // namespace pm::settings
