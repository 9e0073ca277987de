#pragma once

#include <QColor>
#include <QIconEngine>
#include <QPalette>
#include <QString>

namespace pm::settings {

// What colour a symbol takes from the palette: the text's, or the warning or success tone of the texts
// beside it.
enum class SymbolTone { text, warning, success };

// The program's own drawing of a symbol, coloured as it is painted: the bundled drawings stroke and fill
// with `currentColor`, which becomes the palette's text colour (the highlighted text's on a checked or
// selected button), so a symbol reads on a light and on a dark desktop and follows a change of theme.
class SymbolIconEngine final : public QIconEngine {
 public:
  SymbolIconEngine(QString name, SymbolTone tone);

  // Whether the program has a drawing of `name`, and can draw it.
  static bool hasDrawing(const QString& name);
  // `name` drawn in `colour` at `size` points for a screen of `scale` device pixels per point; the
  // drawing's cut-outs take `knockout`.
  static QPixmap render(const QString& name, const QColor& colour, const QColor& knockout, const QSize& size,
                        qreal scale);
  // The colour a symbol of `tone` takes in `palette` for `mode` and `state`.
  static QColor colour(SymbolTone tone, const QPalette& palette, QIcon::Mode mode, QIcon::State state);

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
  QIconEngine* clone() const override;
  QString key() const override;
  QString iconName() override { return name_; }

 private:
  QString name_;
  SymbolTone tone_;
};

}  // namespace pm::settings
