#include "panel/PopoverStyle.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <cmath>

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

namespace {

// The relative luminance and contrast ratio by which readability is commonly judged (WCAG 2).
double luminance(const QColor& colour) {
  const auto channel = [](double value) {
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

QColor over(const QColor& text, double strength, const QColor& ground) {
  const auto mix = [&](double front, double back) { return front * strength + back * (1 - strength); };
  return QColor::fromRgbF(float(mix(text.redF(), ground.redF())), float(mix(text.greenF(), ground.greenF())),
                          float(mix(text.blueF(), ground.blueF())));
}

// Text the user must read to act needs this much contrast with its ground.
constexpr double kReadableContrast = 4.5;

}  // namespace

double contrastRatio(const QColor& first, const QColor& second) {
  const double a = luminance(first), b = luminance(second);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor readableOn(const QColor& colour, const QColor& ground) {
  // Below this luminance white stands out more from the ground than black does.
  const QColor towards = luminance(ground) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
  double strength = 1.0;
  QColor text = colour;
  while (strength > 0.0 && contrastRatio(text, ground) < kReadableContrast) {
    strength = std::max(0.0, strength - 0.02);
    text = over(colour, strength, towards);
  }
  return text;
}

void setReadableButtonText(QPushButton& button, const QColor& colour) {
  QStyleOptionButton option;
  option.initFrom(&button);
  option.rect = QRect(QPoint(0, 0), button.sizeHint());
  QImage bevel(option.rect.size(), QImage::Format_RGB32);
  bevel.fill(button.palette().color(QPalette::Window));
  {
    QPainter painter(&bevel);
    button.style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, &button);
  }
  // The text stands across the middle half of the button's height, where a shaded bevel changes tone.
  QColor text = colour;
  const int x = bevel.width() / 2;
  for (int y = bevel.height() / 4; y < bevel.height() * 3 / 4; ++y) text = readableOn(text, bevel.pixelColor(x, y));
  QPalette palette = button.palette();
  palette.setColor(QPalette::ButtonText, text);
  button.setPalette(palette);
}

void styleLabel(QLabel& label, TextEmphasis emphasis) {
  QPalette palette = label.palette();
  const QColor text = palette.color(QPalette::WindowText);
  const QColor ground = palette.color(QPalette::Window);
  double strength = 1.0;
  switch (emphasis) {
    case TextEmphasis::primary:
      break;
    case TextEmphasis::secondary:
      strength = 0.5;
      break;
    case TextEmphasis::tertiary:
      strength = 0.26;
      break;
  }
  // The softer strengths set the lines apart, but never below what reads well on this ground: the colour
  // moves towards the full text colour until it does.
  while (strength < 1.0 && contrastRatio(over(text, strength, ground), ground) < kReadableContrast) {
    strength = std::min(1.0, strength + 0.02);
  }
  palette.setColor(QPalette::WindowText, over(text, strength, ground));
  label.setPalette(palette);
}

}  // namespace pm
