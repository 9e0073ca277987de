#include "SettingsStyle.h"

#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

#include "views/ReadableColour.h"

namespace pm::settings {

SettingsStyle::SettingsStyle(QStyle* base) : QProxyStyle(base) {}

bool SettingsStyle::isDark(const QPalette& palette) {
  return relativeLuminance(palette.color(QPalette::Base)) < relativeLuminance(palette.color(QPalette::Text));
}

QColor SettingsStyle::outline(const QPalette& palette) {
  // The text's colour faded into the base, no further than the outline still stands out on both the base
  // and the window.
  const QColor text = palette.color(QPalette::Text);
  QColor faded = text;
  faded.setAlphaF(0.45f);
  const QColor base = palette.color(QPalette::Base);
  QColor colour = readableOn(composited(faded, base), base, kGraphicContrast);
  return readableOn(colour, palette.color(QPalette::Window), kGraphicContrast);
}

void SettingsStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const {
  QProxyStyle::drawPrimitive(element, option, painter, widget);
  if (!isDark(option->palette)) return;
  QRectF frame;
  qreal radius = 0;
  switch (element) {
    case PE_FrameLineEdit:
      frame = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
      radius = 2.5;
      break;
    case PE_IndicatorCheckBox:
    case PE_IndicatorItemViewItemCheck:
      frame = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
      radius = 2.0;
      break;
    default:
      return;
  }
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setBrush(Qt::NoBrush);
  const bool focused = option->state & State_HasFocus && element == PE_FrameLineEdit;
  painter->setPen(QPen(focused ? option->palette.color(QPalette::Highlight) : outline(option->palette), 1.0));
  painter->drawRoundedRect(frame, radius, radius);
  painter->restore();
}

void useSettingsStyle() {
  if (qobject_cast<SettingsStyle*>(QApplication::style())) return;
  QApplication::setStyle(new SettingsStyle(QStyleFactory::create(QApplication::style()->name())));
}

}  // namespace pm::settings
