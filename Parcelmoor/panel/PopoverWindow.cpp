#include "panel/PopoverWindow.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace pm {

namespace {

constexpr qreal kCornerRadius = 10;
constexpr int kArrowHalfWidth = 9;

}  // namespace

PopoverSide popoverSide(PanelEdge edge) {
  switch (edge) {
    case PanelEdge::top:
      return PopoverSide::bottom;
    case PanelEdge::right:
      return PopoverSide::leading;
    case PanelEdge::left:
      break;
  }
  return PopoverSide::trailing;
}

QRect popoverFrame(const QRect& anchor, const QSize& content, PopoverSide side) {
  const int arrow = PopoverWindow::kArrowLength;
  // QRect::center() rounds towards the top left; a popover's middle should meet the anchor's middle.
  const QPoint centre(anchor.x() + anchor.width() / 2, anchor.y() + anchor.height() / 2);
  switch (side) {
    case PopoverSide::bottom:
      return {centre.x() - content.width() / 2, anchor.bottom() + 1, content.width(), content.height() + arrow};
    case PopoverSide::leading:
      return {anchor.left() - content.width() - arrow, centre.y() - content.height() / 2, content.width() + arrow,
              content.height()};
    case PopoverSide::trailing:
      break;
  }
  return {anchor.right() + 1, centre.y() - content.height() / 2, content.width() + arrow, content.height()};
}

PopoverWindow::PopoverWindow(QWidget* content, PanelEdge edge, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      content_(content),
      side_(popoverSide(edge)) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  const int arrow = kArrowLength;
  layout->setContentsMargins(side_ == PopoverSide::trailing ? arrow : 0, side_ == PopoverSide::bottom ? arrow : 0,
                             side_ == PopoverSide::leading ? arrow : 0, 0);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  content_->setParent(this);
  layout->addWidget(content_);
}

void PopoverWindow::showBeside(const QRect& anchor) {
  anchor_ = anchor;
  adjustSize();
  setGeometry(popoverFrame(anchor, content_->sizeHint(), side_));
  show();
  content_->setFocus(Qt::PopupFocusReason);
}

void PopoverWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  Q_EMIT closed();
  close();
}

void PopoverWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bubble = QRectF(content_->geometry());
  QPainterPath path;
  path.addRoundedRect(bubble, kCornerRadius, kCornerRadius);

  // The arrow's tip points at the anchor's middle, wherever the window ended up along the other axis.
  const QPointF anchorCentre = mapFromGlobal(anchor_.center());
  QPolygonF arrow;
  switch (side_) {
    case PopoverSide::trailing: {
      const qreal y = std::clamp(anchorCentre.y(), bubble.top() + kCornerRadius + kArrowHalfWidth,
                                 bubble.bottom() - kCornerRadius - kArrowHalfWidth);
      arrow << QPointF(bubble.left() + 1, y - kArrowHalfWidth) << QPointF(0, y)
            << QPointF(bubble.left() + 1, y + kArrowHalfWidth);
      break;
    }
    case PopoverSide::leading: {
      const qreal y = std::clamp(anchorCentre.y(), bubble.top() + kCornerRadius + kArrowHalfWidth,
                                 bubble.bottom() - kCornerRadius - kArrowHalfWidth);
      arrow << QPointF(bubble.right() - 1, y - kArrowHalfWidth) << QPointF(width(), y)
            << QPointF(bubble.right() - 1, y + kArrowHalfWidth);
      break;
    }
    case PopoverSide::bottom: {
      const qreal x = std::clamp(anchorCentre.x(), bubble.left() + kCornerRadius + kArrowHalfWidth,
                                 bubble.right() - kCornerRadius - kArrowHalfWidth);
      arrow << QPointF(x - kArrowHalfWidth, bubble.top() + 1) << QPointF(x, 0)
            << QPointF(x + kArrowHalfWidth, bubble.top() + 1);
      break;
    }
  }
  path.addPolygon(arrow);
  path.setFillRule(Qt::WindingFill);
  painter.setPen(QPen(palette().color(QPalette::Mid), 0.5));
  painter.setBrush(palette().color(QPalette::Window));
  painter.drawPath(path.simplified());
}

}  // namespace pm
