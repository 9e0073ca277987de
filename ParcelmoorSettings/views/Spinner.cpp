#include "Spinner.h"

#include <QPainter>
#include <QTimer>

namespace pm::settings {

namespace {

constexpr int kStepDegrees = 30;
constexpr int kStepMilliseconds = 80;

}  // namespace

Spinner::Spinner(int diameter, QWidget* parent) : QWidget(parent), diameter_(diameter), turn_(new QTimer(this)) {
  setFixedSize(diameter, diameter);
  turn_->setInterval(kStepMilliseconds);
  connect(turn_, &QTimer::timeout, this, [this] {
    angle_ = (angle_ + kStepDegrees) % 360;
    update();
  });
}

void Spinner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal pen = qMax(1.5, diameter_ / 8.0);
  const QRectF ring = QRectF(rect()).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
  QColor track = palette().color(QPalette::PlaceholderText);
  track.setAlphaF(0.25);
  painter.setPen(QPen(track, pen));
  painter.drawEllipse(ring);
  painter.setPen(QPen(palette().color(QPalette::PlaceholderText), pen, Qt::SolidLine, Qt::RoundCap));
  painter.drawArc(ring, -angle_ * 16, 100 * 16);
}

// Turning costs a repaint every step, so only a spinner on screen turns.
void Spinner::showEvent(QShowEvent*) {
  turn_->start();
}

void Spinner::hideEvent(QHideEvent*) {
  turn_->stop();
}

}  // namespace pm::settings
