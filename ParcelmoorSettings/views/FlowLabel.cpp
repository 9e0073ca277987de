#include "FlowLabel.h"

#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace pm::settings {

namespace {

// Below this a label would stack its words one a line; the row gives it at least this much.
constexpr int kNarrowest = 120;

}  // namespace

FlowLabel::FlowLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setWordWrap(true);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

int FlowLabel::oneLineWidth() const {
  int textWidth = 0;
  if (Qt::mightBeRichText(text()) && textFormat() != Qt::PlainText) {
    QTextDocument document;
    document.setDefaultFont(font());
    document.setDocumentMargin(0);
    document.setHtml(text());
    textWidth = int(std::ceil(document.idealWidth()));
  } else {
    textWidth = fontMetrics().size(0, text()).width();
  }
  const QMargins margins = contentsMargins();
  // One pixel more: the width is measured in fractions and a rounded-down line would wrap its last word.
  return textWidth + margins.left() + margins.right() + 2 * margin() + std::max(indent(), 0) + 1;
}

QSize FlowLabel::sizeHint() const {
  const int width = oneLineWidth();
  return {width, heightForWidth(width)};
}

QSize FlowLabel::minimumSizeHint() const {
  // As high as one line: the height it takes when wrapped comes from its height for the width it gets.
  const int oneLine = oneLineWidth();
  return {std::min(oneLine, kNarrowest), heightForWidth(oneLine)};
}

}  // namespace pm::settings
