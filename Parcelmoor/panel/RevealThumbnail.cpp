#include "RevealThumbnail.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "platform/Clock.h"

namespace pm {

RevealThumbnail::RevealThumbnail(const Clock& clock, QPixmap picture, Reveal reveal, QWidget* parent)
    : QWidget(parent), clock_(clock), picture_(std::move(picture)), reveal_(std::move(reveal)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  frames_.setInterval(kFrameInterval);
  connect(&frames_, &QTimer::timeout, this, &RevealThumbnail::frame);
  if (!reveal_.finished) {
    frames_.start();
    // The first frame comes on the next turn, so a reveal that is over already finishes at once, but
    // never inside the constructor of the tile that made it.
    QTimer::singleShot(0, this, &RevealThumbnail::frame);
  }
}

double RevealThumbnail::linearProgress(const QDateTime& now) const {
  if (reveal_.finished || reveal_.duration.count() <= 0) return 1.0;
  const double elapsed = double(reveal_.start.msecsTo(now));
  // A start still ahead (a clock set back) has not begun rather than gone below zero.
  return std::clamp(elapsed / double(reveal_.duration.count()), 0.0, 1.0);
}

double RevealThumbnail::revealProgress(const QDateTime& now) const {
  return 1.0 - std::pow(1.0 - linearProgress(now), 3.0);
}

void RevealThumbnail::frame() {
  if (reveal_.finished) return;
  update();
  if (linearProgress(clock_.now()) < 1.0) return;
  reveal_.finished = true;
  frames_.stop();
  if (reveal_.onFinish) reveal_.onFinish();
}

void RevealThumbnail::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  QRectF square(0, 0, reveal_.size, reveal_.size);
  square.moveCenter(QRectF(rect()).center());
  QPainterPath clip;
  clip.addRoundedRect(square, kCornerRadius, kCornerRadius);
  painter.setClipPath(clip);

  const double eased = revealProgress(clock_.now());
  if (picture_.isNull()) return;
  if (eased >= 1.0) {
    painter.drawPixmap(square, picture_, QRectF(picture_.rect()));
    return;
  }
  // The revealed part is drawn as it is; its last row streaks down over the rest, fading as it goes.
  const double line = square.height() * eased;
  const double sourceLine = picture_.height() * eased;
  painter.drawPixmap(QRectF(square.left(), square.top(), square.width(), line), picture_,
                     QRectF(0, 0, picture_.width(), sourceLine));
  const QRectF streak(square.left(), square.top() + line, square.width(), square.height() - line);
  painter.setOpacity(1.0 - eased);
  painter.drawPixmap(streak, picture_,
                     QRectF(0, std::min(sourceLine, picture_.height() - 1.0), picture_.width(), 1.0));
}

}  // namespace pm
