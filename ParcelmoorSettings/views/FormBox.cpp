#include "FormBox.h"

#include <QLayout>
#include <QPainter>

#include "views/ReadableColour.h"

namespace pm::settings {

namespace {

constexpr qreal kRadius = 8;

// A line that shows on the base colour whatever the palette: the text's colour, mostly faded out.
QColor lineColour(const QPalette& palette, qreal strength) {
  QColor text = palette.color(QPalette::Text);
  text.setAlphaF(float(strength));
  return composited(text, palette.color(QPalette::Base));
}

}  // namespace

FormBox::FormBox(QWidget* parent) : QWidget(parent) {}

void FormBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette colours = palette();
  painter.setPen(QPen(lineColour(colours, 0.16), 1.0));
  painter.setBrush(colours.color(QPalette::Base));
  painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);

  // Between each two shown rows, in the order the layout holds them.
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(lineColour(colours, 0.10), 1.0));
  const QWidget* above = nullptr;
  for (int index = 0; layout() && index < layout()->count(); ++index) {
    const QWidget* row = layout()->itemAt(index)->widget();
    if (!row || row->isHidden()) continue;
    if (above) painter.drawLine(kRowMargin, row->y(), width() - kRowMargin - 1, row->y());
    above = row;
  }
}

}  // namespace pm::settings
