#pragma once

#include <QColor>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

namespace pm::test {

// Writes a one-page PDF whose page is filled with `colour`: a document the desktop's thumbnailer renders.
inline void writePdf(const QString& path, const QColor& colour) {
  QPdfWriter writer(path);
  writer.setPageSize(QPageSize(QPageSize::A6));
  QPainter painter(&writer);
  painter.fillRect(QRect(QPoint(0, 0), QSize(writer.width(), writer.height())), colour);
}

}  // namespace pm::test
