#include "Popover.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

#include "views/DesktopCompositing.h"

namespace pm::settings {

namespace {

// The content's height at its own width: word-wrapped text asks for exactly the lines it needs, so the
// bubble has no empty band.
QSize contentSize(QWidget& content) {
  if (QLayout* layout = content.layout()) layout->activate();
  QSize size = content.sizeHint().expandedTo(content.minimumSizeHint());
  if (content.minimumWidth() == content.maximumWidth()) size.setWidth(content.minimumWidth());
  if (content.hasHeightForWidth()) size.setHeight(content.heightForWidth(size.width()));
  return size;
}

}  // namespace

Popover::Placement Popover::place(const QRect& anchor, const QSize& bubble, const QRect& screen) {
  const QRect free = screen.adjusted(kScreenMargin, kScreenMargin, -kScreenMargin, -kScreenMargin);
  const int height = bubble.height() + kArrowLength;
  const int centre = anchor.x() + anchor.width() / 2;
  const int x = std::clamp(centre - bubble.width() / 2, free.left(), std::max(free.left(), free.right() + 1 - bubble.width()));
  const int roomBelow = free.bottom() - anchor.bottom();
  const int roomAbove = anchor.top() - free.top();
  const bool above = roomBelow < height && roomAbove > roomBelow;
  int y = above ? anchor.top() - height : anchor.bottom() + 1;
  y = std::clamp(y, free.top(), std::max(free.top(), free.bottom() + 1 - height));
  const int inset = kCornerRadius + kArrowHalfWidth;
  const int arrowX = std::clamp(centre - x, std::min(inset, bubble.width() / 2),
                                std::max(bubble.width() - inset, bubble.width() / 2));
  return {QRect(x, y, bubble.width(), height), arrowX, above};
}

Popover::Popover(QWidget* content, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint), content_(content) {
  setAttribute(Qt::WA_DeleteOnClose);
  // Where the desktop composes windows, the bubble's corners blend into what lies below, smoothed at the
  // screen's own pixel density. Elsewhere a translucent window would show black corners: a mask cuts them.
  translucent_ = desktopComposites();
  setAttribute(Qt::WA_TranslucentBackground, translucent_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  content_->setParent(this);
  layout->addWidget(content_);
}

void Popover::showAt(const QWidget& anchor) {
  const QSize bubble = contentSize(*content_);
  content_->setFixedSize(bubble);
  const QRect anchorRect(anchor.mapToGlobal(QPoint(0, 0)), anchor.size());
  const QScreen* screen = anchor.screen() ? anchor.screen() : QGuiApplication::primaryScreen();
  placement_ = place(anchorRect, bubble, screen ? screen->availableGeometry() : QRect(QPoint(0, 0), bubble * 4));
  layout()->setContentsMargins(0, placement_.above ? 0 : kArrowLength, 0, placement_.above ? kArrowLength : 0);
  setFixedSize(placement_.frame.size());
  move(placement_.frame.topLeft());
  if (!translucent_) setMask(QRegion(outline(0).toFillPolygon().toPolygon()));
  show();
  content_->setFocus(Qt::PopupFocusReason);
}

QPainterPath Popover::outline(qreal inset) const {
  const qreal top = placement_.above ? 0 : kArrowLength;
  const QRectF b = QRectF(0, top, width(), height() - kArrowLength).adjusted(inset, inset, -inset, -inset);
  const qreal r = kCornerRadius;
  const qreal x = placement_.arrowX;
  const qreal half = kArrowHalfWidth;
  // One outline, clockwise from the top left corner, with the arrow in the edge that faces the anchor.
  QPainterPath path;
  path.moveTo(b.left() + r, b.top());
  if (!placement_.above) {
    path.lineTo(x - half, b.top());
    path.lineTo(x, inset);
    path.lineTo(x + half, b.top());
  }
  path.lineTo(b.right() - r, b.top());
  path.arcTo(QRectF(b.right() - 2 * r, b.top(), 2 * r, 2 * r), 90, -90);
  path.lineTo(b.right(), b.bottom() - r);
  path.arcTo(QRectF(b.right() - 2 * r, b.bottom() - 2 * r, 2 * r, 2 * r), 0, -90);
  if (placement_.above) {
    path.lineTo(x + half, b.bottom());
    path.lineTo(x, height() - inset);
    path.lineTo(x - half, b.bottom());
  }
  path.lineTo(b.left() + r, b.bottom());
  path.arcTo(QRectF(b.left(), b.bottom() - 2 * r, 2 * r, 2 * r), 270, -90);
  path.lineTo(b.left(), b.top() + r);
  path.arcTo(QRectF(b.left(), b.top(), 2 * r, 2 * r), 180, -90);
  path.closeSubpath();
  return path;
}

void Popover::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(palette().color(QPalette::Window));
  painter.drawPath(outline(0));
  // The frame: the palette's dark edge, which stands apart from the window below in light and dark
  // palettes alike; half a pixel in, so the mask does not cut the line.
  painter.setPen(QPen(palette().color(QPalette::Dark), 1.0));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(outline(0.5));
}

}  // namespace pm::settings
