#pragma once

#include <QColor>
#include <QDir>
#include <QEnterEvent>
#include <QImage>
#include <QPalette>
#include <QStringList>
#include <QWidget>

#include <memory>

#include "core/Bucket.h"
#include "panel/FileViewer.h"
#include "support/TestSupport.h"

namespace pm::test {

class RecordingFileViewer final : public FileViewer {
 public:
  void open(const QString& path) override { opened << path; }
  void showInFolder(const QString& path) override { shown << path; }
  QStringList opened;
  QStringList shown;
};

// An item for a file written under `root`, added `ageMs` milliseconds before the clock's now.
inline std::shared_ptr<BucketItem> itemAged(const TempRoot& root, const QString& name, const ManualClock& clock,
                                            qint64 ageMs) {
  const QString path = root.write(name, "content");
  return std::make_shared<BucketItem>(path, clock.now().addMSecs(-ageMs));
}

inline void sendEnter(QWidget& widget) {
  QEnterEvent enter(QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)), widget.mapToGlobal(QPointF(5, 5)));
  QCoreApplication::sendEvent(&widget, &enter);
}

inline void sendLeave(QWidget& widget) {
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&widget, &leave);
}

// The bar is dark; tiles are looked at on a dark ground with the bar's light-on-dark text colour.
inline QPalette barPalette() {
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(0x26, 0x26, 0x28));
  palette.setColor(QPalette::WindowText, Qt::white);
  palette.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
  return palette;
}

inline QString saveScreenshot(QWidget& widget, const QString& name) {
  QDir().mkpath(artifactsDirectory());
  const QString path = artifactsDirectory() + QLatin1Char('/') + name + QLatin1String(".png");
  widget.grab().save(path);
  return path;
}

// A picture file with a clear pattern, so a screenshot shows it was drawn filled and uncropped.
inline QString writePicture(const TempRoot& root, const QString& name, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x) {
      image.setPixelColor(x, y, QColor::fromHsv((x * 300 / size.width()) % 360, 160, 120 + y * 120 / size.height()));
    }
  }
  const QString path = root.file(name);
  QDir().mkpath(QFileInfo(path).absolutePath());
  image.save(path);
  return path;
}

}  // namespace pm::test
