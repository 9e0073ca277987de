#include "SymbolIconEngine.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QWidget>

#include "views/TextTone.h"

namespace pm::settings {

namespace {

QString drawingPath(const QString& name) { return QStringLiteral(":/symbols/%1.svg").arg(name); }

const QByteArray& drawing(const QString& name) {
  static QHash<QString, QByteArray> loaded;
  auto found = loaded.find(name);
  if (found == loaded.end()) {
    QFile file(drawingPath(name));
    found = loaded.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
  }
  return *found;
}

QPalette paletteFor(const QPainter* painter) {
  if (painter && painter->device() && painter->device()->devType() == QInternal::Widget)
    return static_cast<const QWidget*>(painter->device())->palette();
  return QGuiApplication::palette();
}

}  // namespace

SymbolIconEngine::SymbolIconEngine(QString name, SymbolTone tone) : name_(std::move(name)), tone_(tone) {}

bool SymbolIconEngine::hasDrawing(const QString& name) {
  static const bool canDraw = QImageReader::supportedImageFormats().contains("svg");
  return canDraw && !drawing(name).isEmpty();
}

QColor SymbolIconEngine::colour(SymbolTone tone, const QPalette& palette, QIcon::Mode mode, QIcon::State state) {
  if (mode == QIcon::Disabled) return palette.color(QPalette::Disabled, QPalette::WindowText);
  // On the accent colour of a checked row or a selected cell.
  if (mode == QIcon::Selected || state == QIcon::On) return palette.color(QPalette::HighlightedText);
  switch (tone) {
    case SymbolTone::text:
      return palette.color(QPalette::WindowText);
    case SymbolTone::warning:
      return toneColour(TextTone::warning, palette);
    case SymbolTone::success:
      return toneColour(TextTone::success, palette);
  }
  Q_UNREACHABLE();
  return {};
}

QPixmap SymbolIconEngine::render(const QString& name, const QColor& colour, const QColor& knockout,
                                 const QSize& size, qreal scale) {
  const QSize pixels = (QSizeF(size) * scale).toSize();
  if (pixels.isEmpty()) return {};
  const QString key = QStringLiteral("%1|%2|%3|%4x%5")
                          .arg(name, colour.name(QColor::HexArgb), knockout.name(QColor::HexArgb))
                          .arg(pixels.width())
                          .arg(pixels.height());
  static QHash<QString, QPixmap> rendered;
  if (const auto found = rendered.constFind(key); found != rendered.constEnd()) return *found;

  QByteArray svg = drawing(name);
  svg.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
  svg.replace("knockoutColor", knockout.name(QColor::HexRgb).toLatin1());
  QBuffer buffer(&svg);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "svg");
  reader.setScaledSize(pixels);
  QPixmap pixmap = QPixmap::fromImage(reader.read());
  pixmap.setDevicePixelRatio(scale);
  rendered.insert(key, pixmap);
  return pixmap;
}

void SymbolIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) {
  const QPalette palette = paletteFor(painter);
  const qreal scale = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
  painter->drawPixmap(rect, render(name_, colour(tone_, palette, mode, state), palette.color(QPalette::Base),
                                   rect.size(), scale));
}

QPixmap SymbolIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
  return scaledPixmap(size, mode, state, 1.0);
}

QPixmap SymbolIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) {
  const QPalette palette = QGuiApplication::palette();
  // Qt asks in device pixels and scales back; the drawing is made at the size it will show.
  const QSize points = (QSizeF(size) / scale).toSize();
  return render(name_, colour(tone_, palette, mode, state), palette.color(QPalette::Base), points, scale);
}

QSize SymbolIconEngine::actualSize(const QSize& size, QIcon::Mode, QIcon::State) { return size; }

QIconEngine* SymbolIconEngine::clone() const { return new SymbolIconEngine(name_, tone_); }

QString SymbolIconEngine::key() const { return QStringLiteral("pm.symbol"); }

}  // namespace pm::settings
