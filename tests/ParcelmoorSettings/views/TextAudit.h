#pragma once

#include <QPalette>
#include <QStringList>

class QWidget;

namespace pm::settings::test {

// Reads every text a window shows as a user would and lists what is wrong with it, one line each (empty:
// nothing). A text is wrong when
// - it does not show whole: a label narrower or lower than its text, a button or a choice squeezed below
//   its text, a field's example cut, a text cut short with "…" while its tooltip holds the rest;
// - it wraps although its row has the room to give it one line;
// - it reads at less than 4.5:1 against what it is drawn on (the colour on screen, with any fading).
// Hidden widgets and disabled buttons (which need not be read) are left out.
QStringList auditTexts(QWidget& window);

// The two palettes the texts must read in: the widget style's own light one and a dark one like a dark
// desktop's (light text on near-black, a blue accent).
QPalette lightPalette();
QPalette darkPalette();

// Puts a palette on the application while it lives, as a desktop's theme does, and the old one back after.
class ApplicationPalette {
 public:
  explicit ApplicationPalette(const QPalette& palette);
  ~ApplicationPalette();
  ApplicationPalette(const ApplicationPalette&) = delete;
  ApplicationPalette& operator=(const ApplicationPalette&) = delete;

 private:
  QPalette previous_;
};

// Saves `window` as build/test-artifacts/<name>.png at its size, and <name>@2x.png drawn for a screen of
// two device pixels per point.
void saveScreenshots(QWidget& window, const QString& name);

}  // namespace pm::settings::test
