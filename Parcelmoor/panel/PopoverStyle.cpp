#include "panel/PopoverStyle.h"

#include <QLabel>

namespace pm {

QFont headlineFont(const QFont& base) {
  QFont font = base;
  font.setPixelSize(13);
  font.setWeight(QFont::Bold);
  return font;
}

QFont bodyFont(const QFont& base) {
  QFont font = base;
  font.setPixelSize(13);
  font.setWeight(QFont::Normal);
  return font;
}

void styleLabel(QLabel& label, TextEmphasis emphasis) {
  QPalette palette = label.palette();
  QColor colour = palette.color(QPalette::WindowText);
  switch (emphasis) {
    case TextEmphasis::primary:
      break;
    case TextEmphasis::secondary:
      colour.setAlphaF(0.5f);
      break;
    case TextEmphasis::tertiary:
      colour.setAlphaF(0.26f);
      break;
  }
  palette.setColor(QPalette::WindowText, colour);
  label.setPalette(palette);
}

}  // namespace pm
