#include "panel/TileBadgeButton.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

#include "panel/SoftShadow.h"

namespace pm {

namespace {

constexpr qreal kSymbolSize = 25.2;
constexpr qreal kStroke = 2.4;  // a semibold outline at this size

QPainterPath warningTriangle(const QRectF& box) {
  QPainterPath path;
  const qreal height = box.width() * 0.88;
  const qreal top = box.center().y() - height / 2;
  path.moveTo(box.center().x(), top);
  path.lineTo(box.right(), top + height);
  path.lineTo(box.left(), top + height);
  path.closeSubpath();
  // The exclamation mark: a bar and a dot.
  const qreal x = box.center().x();
  path.moveTo(x, top + height * 0.38);
  path.lineTo(x, top + height * 0.58);
  path.addEllipse(QPointF(x, top + height * 0.82), kStroke * 0.6, kStroke * 0.6);
  return path;
}

QPainterPath crossedOctagon(const QRectF& box) {
  QPainterPath path;
  const QPointF centre = box.center();
  const qreal radius = box.width() / 2 / std::cos(std::numbers::pi / 8);
  for (int corner = 0; corner < 8; ++corner) {
    const qreal angle = std::numbers::pi / 8 + corner * std::numbers::pi / 4;
    const QPointF point(centre.x() + radius * std::cos(angle) * 0.92, centre.y() + radius * std::sin(angle) * 0.92);
    corner == 0 ? path.moveTo(point) : path.lineTo(point);
  }
  path.closeSubpath();
  const qreal arm = box.width() * 0.18;
  path.moveTo(centre + QPointF(-arm, -arm));
  path.lineTo(centre + QPointF(arm, arm));
  path.moveTo(centre + QPointF(arm, -arm));
  path.lineTo(centre + QPointF(-arm, arm));
  return path;
}

}  // namespace

TileBadgeButton::TileBadgeButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::ArrowCursor);
  resize(sizeHint());
}

void TileBadgeButton::setKind(TileBadge kind) {
  if (kind == kind_) return;
  kind_ = kind;
  setAccessibleName(kind == TileBadge::sensitive ? tr("Sensitive file") : tr("Upload failed"));
  update();
}

void TileBadgeButton::paintEvent(QPaintEvent*) {
  if (kind_ == TileBadge::none) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QRectF box(0, 0, kSymbolSize, kSymbolSize);
  box.moveCenter(QRectF(rect()).center());
  const bool sensitive = kind_ == TileBadge::sensitive;
  const QPainterPath symbol = sensitive ? warningTriangle(box) : crossedOctagon(box);
  const qreal ratio = devicePixelRatioF();
  if (shadow_.isNull() || shadowKind_ != kind_ || shadow_.devicePixelRatio() != ratio) {
    shadow_ = softShadow(symbol, size(), 3, QColor::fromRgbF(0, 0, 0, 0.5f), kStroke, ratio);
    shadowKind_ = kind_;
  }
  painter.drawImage(0, 0, shadow_);
  const QColor colour = sensitive ? QColor(0xff, 0x95, 0x00) : QColor(0xff, 0x3b, 0x30);
  painter.setPen(QPen(colour, kStroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(symbol);
}

}  // namespace pm
