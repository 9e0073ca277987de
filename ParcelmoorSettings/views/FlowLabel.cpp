#include "FlowLabel.h"

#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace pm::settings {

namespace {

// Below this a label would stack its words one a line; the row gives it at least this much.
constexpr int kNarrowest = 120;
// Room enough for any text laid out one word a line.
constexpr int kTallest = 1 << 20;

}  // namespace

FlowLabel::FlowLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setWordWrap(true);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

namespace {

// The label's rich text as its layout reads it.
void fill(QTextDocument& document, const QLabel& label) {
  document.setDefaultFont(label.font());
  document.setDocumentMargin(0);
  document.setHtml(label.text());
}

}  // namespace

int FlowLabel::oneLineWidth() const {
  int textWidth = 0;
  if (Qt::mightBeRichText(text()) && textFormat() != Qt::PlainText) {
    QTextDocument document;
    fill(document, *this);
    textWidth = int(std::ceil(document.idealWidth()));
  } else {
    textWidth = fontMetrics().size(0, text()).width();
  }
  return textWidth + extraWidth();
}

int FlowLabel::widestWordWidth() const {
  // Laid out as narrow as it goes, every line is one piece the text cannot be broken within; plain text
  // measured as the label draws it.
  if (Qt::mightBeRichText(text()) && textFormat() != Qt::PlainText) {
    QTextDocument document;
    fill(document, *this);
    document.setTextWidth(0);
    return int(std::ceil(document.idealWidth())) + extraWidth();
  }
  return fontMetrics().boundingRect(QRect(0, 0, 1, kTallest), Qt::TextWordWrap, text()).width() + extraWidth();
}

int FlowLabel::extraWidth() const {
  const QMargins margins = contentsMargins();
  // One pixel more: the width is measured in fractions and a rounded-down line would wrap its last word.
  return margins.left() + margins.right() + 2 * margin() + std::max(indent(), 0) + 1;
}

QSize FlowLabel::sizeHint() const {
  const int width = oneLineWidth();
  return {width, heightForWidth(width)};
}

QSize FlowLabel::minimumSizeHint() const {
  // As high as one line: the height it takes when wrapped comes from its height for the width it gets.
  // Never narrower than its widest word: a wrapped label cuts such a word off at its edge (at the left
  // when it is aligned right), and an address is one long word.
  const int oneLine = oneLineWidth();
  return {std::max(std::min(oneLine, kNarrowest), std::min(oneLine, widestWordWidth())), heightForWidth(oneLine)};
}

}  // namespace pm::settings
