#include "panel/TileRemoveButton.h"

#include <QPainter>

namespace pm {

TileRemoveButton::TileRemoveButton(QWidget* parent)
    : QAbstractButton(parent), appearance_(0, this), discOpacity_(0.7, this) {
  setFocusPolicy(Qt::NoFocus);
  setAccessibleName(tr("Remove from Bucket"));
  resize(sizeHint());
  hide();
  connect(&appearance_, &EasedValue::finished, this, [this] {
    if (!shown_) hide();
  });
}

void TileRemoveButton::setShown(bool shown, std::chrono::milliseconds duration) {
  if (shown == shown_) return;
  shown_ = shown;
  if (shown) show();
  appearance_.animateTo(shown ? 1 : 0, duration);
}

void TileRemoveButton::enterEvent(QEnterEvent* event) {
  hovering_ = true;
  discOpacity_.animateTo(1.0, hoverDuration_);
  QAbstractButton::enterEvent(event);
}

void TileRemoveButton::leaveEvent(QEvent* event) {
  hovering_ = false;
  discOpacity_.animateTo(0.7, hoverDuration_);
  QAbstractButton::leaveEvent(event);
}

void TileRemoveButton::paintEvent(QPaintEvent*) {
  const double appearance = appearance_.value();
  if (appearance <= 0) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(appearance);
  const QPointF centre = QRectF(rect()).center();
  painter.translate(centre);
  painter.scale(appearance, appearance);

  const qreal radius = 8;
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor::fromRgbF(0, 0, 0, float(discOpacity_.value())));
  painter.drawEllipse(QPointF(), radius, radius);
  const qreal arm = 3.2;
  painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(-arm, -arm), QPointF(arm, arm));
  painter.drawLine(QPointF(arm, -arm), QPointF(-arm, arm));
}

}  // namespace pm
