#pragma once

#include <QProxyStyle>

namespace pm::settings {

// The desktop's widget style with the outlines a dark palette loses: a text field's frame and an
// unchecked check box are drawn in the base colour's near neighbour there and vanish, so an empty field
// or a switched-off option cannot be seen. Here they get an outline that stands out (3:1) from what
// surrounds them. Colours are read from the palette at each paint, so a change of theme shows at once.
class SettingsStyle final : public QProxyStyle {
  Q_OBJECT

 public:
  explicit SettingsStyle(QStyle* base = nullptr);

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;

  // The colour of those outlines in `palette`.
  static QColor outline(const QPalette& palette);
  // Whether `palette` is a dark one (light text on a dark base).
  static bool isDark(const QPalette& palette);
};

// Makes the application draw with SettingsStyle over the style it has (once; later calls do nothing).
void useSettingsStyle();

}  // namespace pm::settings
