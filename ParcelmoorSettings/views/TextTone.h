#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

namespace pm::settings {

// What a text says by its colour. Each tone keeps its hue (the secondary grey, the warning orange, the
// success green) and is darkened or lightened until it reads at 4.5:1 on both backgrounds of the palette
// (the window and the form boxes).
enum class TextTone { primary, secondary, warning, success };

QColor toneColour(TextTone tone, const QPalette& palette);

// Draws `widget`'s text in `tone`, computed again whenever its palette or the desktop's theme changes.
void setTextTone(QWidget* widget, TextTone tone);

}  // namespace pm::settings
