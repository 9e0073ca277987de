#include "TextTone.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "views/ReadableColour.h"

namespace pm::settings {

namespace {

// The hues the pages use for warnings and for success, before they are made readable.
const QColor kOrange(255, 149, 0);
const QColor kGreen(52, 199, 89);

QColor hueOf(TextTone tone, const QPalette& palette) {
  switch (tone) {
    case TextTone::primary:
      return palette.color(QPalette::WindowText);
    case TextTone::secondary:
      // The palette's placeholder grey is often translucent: as it shows on the form's boxes.
      return composited(palette.color(QPalette::PlaceholderText), palette.color(QPalette::Base));
    case TextTone::warning:
      return kOrange;
    case TextTone::success:
      return kGreen;
  }
  Q_UNREACHABLE();
  return {};
}

// Keeps a widget's tone when its palette changes: it recomputes the colour from the new backgrounds and
// writes it only when it differs, so its own write ends the exchange.
class ToneKeeper final : public QObject {
 public:
  ToneKeeper(QWidget* widget, TextTone tone) : QObject(widget), widget_(widget), tone_(tone) {
    widget->installEventFilter(this);
    apply();
  }

  void setTone(TextTone tone) {
    tone_ = tone;
    apply();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == widget_) {
      switch (event->type()) {
        case QEvent::PaletteChange:
        case QEvent::ApplicationPaletteChange:
        case QEvent::StyleChange:
        case QEvent::ThemeChange:
        case QEvent::ParentChange:
          apply();
          break;
        default:
          break;
      }
    }
    return false;
  }

 private:
  void apply() {
    // The colours it inherits, not its own: a tone written earlier must not become the next one's hue.
    const QWidget* parent = widget_->parentWidget();
    const QColor colour = toneColour(tone_, parent ? parent->palette() : QApplication::palette(widget_));
    QPalette palette = widget_->palette();
    bool same = true;
    // Disabled too: a status inside a button that waits (or a row that cannot be used yet) is still read.
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
      for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        same = same && palette.color(group, role) == colour;
        palette.setColor(group, role, colour);
      }
    }
    if (!same) widget_->setPalette(palette);
  }

  QWidget* widget_;
  TextTone tone_;
};

}  // namespace

QColor toneColour(TextTone tone, const QPalette& palette) {
  const QColor window = palette.color(QPalette::Window);
  const QColor base = palette.color(QPalette::Base);
  // Against whichever of the two backgrounds it reads worse on, until it reads on both.
  QColor colour = hueOf(tone, palette);
  for (int round = 0; round < 3; ++round) {
    colour = readableOn(colour, contrastRatio(colour, window) < contrastRatio(colour, base) ? window : base);
    if (contrastRatio(colour, window) >= kTextContrast && contrastRatio(colour, base) >= kTextContrast) break;
  }
  return colour;
}

void setTextTone(QWidget* widget, TextTone tone) {
  for (QObject* child : widget->children()) {
    if (auto* keeper = dynamic_cast<ToneKeeper*>(child)) {
      keeper->setTone(tone);
      return;
    }
  }
  new ToneKeeper(widget, tone);
}

}  // namespace pm::settings
