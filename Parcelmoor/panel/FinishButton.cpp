#include "panel/FinishButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <cmath>
#include <numbers>

#include "panel/SoftShadow.h"
#include "platform/Async.h"
#include "platform/Log.h"
#include "upload/BucketStore.h"
#include "upload/UploadSession.h"

namespace pm {

namespace {

constexpr int kShadowRadius = 3;
constexpr int kHoverMs = 120;
constexpr int kTransitionMs = 220;
constexpr int kSpokes = 8;

}  // namespace

FinishButton::FinishButton(FinishAction onFinish, QWidget* parent)
    : QAbstractButton(parent), onFinish_(std::move(onFinish)), hoverLevel_(0, this), appearance_(0, this) {
  setFocusPolicy(Qt::NoFocus);
  setAccessibleName(tr("Finish"));
  resize(sizeHint());
  hide();
  connect(this, &QAbstractButton::clicked, this, &FinishButton::finish);
  connect(&appearance_, &EasedValue::finished, this, [this] {
    if (!shown_) hide();
  });
  spinnerTimer_.setInterval(1000 / kSpokes);
  connect(&spinnerTimer_, &QTimer::timeout, this, [this] {
    spinnerPhase_ = (spinnerPhase_ + 1) % kSpokes;
    update();
  });
}

FinishButton::~FinishButton() = default;

QSize FinishButton::sizeHint() const { return {kDiameter + 2 * kShadowRadius, kDiameter + 2 * kShadowRadius}; }

std::chrono::milliseconds FinishButton::scaled(int milliseconds) const {
  return std::chrono::milliseconds(std::llround(milliseconds * animationScale_));
}

void FinishButton::setSession(std::shared_ptr<UploadSession> session) {
  for (const auto& connection : std::as_const(sessionConnections_)) disconnect(connection);
  sessionConnections_.clear();
  session_ = std::move(session);
  if (session_) {
    // canFinish reads the phase, the planning state and every item's state.
    sessionConnections_ << connect(session_.get(), &UploadSession::phaseChanged, this, &FinishButton::refresh)
                        << connect(session_.get(), &UploadSession::workChanged, this, &FinishButton::refresh)
                        << connect(&session_->bucket(), &Bucket::itemsChanged, this, &FinishButton::refresh)
                        << connect(&session_->bucket(), &Bucket::itemChanged, this, &FinishButton::refresh);
  }
  refresh();
}

void FinishButton::setOffset(const QSizeF& offset) {
  offset_ = offset;
  placeAt(position_);
}

void FinishButton::placeAt(const QPoint& position) {
  position_ = position;
  move(position + QPoint(int(std::lround(offset_.width())), int(std::lround(offset_.height()))));
}

void FinishButton::refresh() {
  const bool shown = finishing_ || (session_ && session_->canFinish());
  if (shown != shown_) {
    shown_ = shown;
    if (shown) show();
    appearance_.animateTo(shown ? 1 : 0, scaled(kTransitionMs));
  }
  update();
}

void FinishButton::finish() {
  if (finishing_) return;
  QCoro::Task<> task = runFinish();
  detachTask(std::move(task), lcApp, "finishing the bucket");
}

QCoro::Task<> FinishButton::runFinish() {
  QPointer<FinishButton> self(this);
  setFinishing(true);
  FinishAction action = onFinish_;
  try {
    QCoro::Task<> running = action();
    co_await running;
  } catch (const std::exception& error) {
    // The bar's operation reports its own failures; one that escapes must not leave the button spinning.
    qCWarning(lcApp) << "finishing the bucket failed:" << error.what();
  }
  if (self) self->setFinishing(false);
}

void FinishButton::setFinishing(bool finishing) {
  if (finishing == finishing_) return;
  finishing_ = finishing;
  setEnabled(!finishing);
  if (finishing) {
    spinnerPhase_ = 0;
    spinnerTimer_.start();
  } else {
    spinnerTimer_.stop();
  }
  refresh();
  Q_EMIT finishingChanged(finishing);
}

void FinishButton::enterEvent(QEnterEvent* event) {
  hovering_ = true;
  hoverLevel_.animateTo(1, scaled(kHoverMs));
  QAbstractButton::enterEvent(event);
}

void FinishButton::leaveEvent(QEvent* event) {
  hovering_ = false;
  hoverLevel_.animateTo(0, scaled(kHoverMs));
  QAbstractButton::leaveEvent(event);
}

void FinishButton::paintEvent(QPaintEvent*) {
  const double appearance = appearance_.value();
  if (appearance <= 0) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(appearance);
  const QPointF centre = QRectF(rect()).center();
  painter.translate(centre);
  painter.scale(appearance, appearance);

  const qreal radius = kDiameter / 2.0;
  QPainterPath circle;
  circle.addEllipse(QPointF(), radius, radius);
  if (shadow_.isNull() || shadow_.devicePixelRatio() != devicePixelRatioF()) {
    shadow_ = softShadow(circle.translated(centre), size(), kShadowRadius, QColor::fromRgbF(0, 0, 0, 0.33f), 0,
                         devicePixelRatioF());
  }
  painter.drawImage(-centre, shadow_);
  const float level = float(1.0 - 0.18 * hoverLevel_.value());
  painter.fillPath(circle, QColor::fromRgbF(level, level, level));

  if (finishing_) {
    // A small indeterminate spinner: spokes whose shade runs around the circle.
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
      const int age = (spinnerPhase_ - spoke + kSpokes) % kSpokes;
      const double angle = spoke * 2 * std::numbers::pi / kSpokes;
      const QPointF direction(std::cos(angle), std::sin(angle));
      painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, float(1.0 - 0.8 * age / kSpokes)), 1.6, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(direction * 3.5, direction * 7);
    }
  } else {
    QPainterPath check;
    check.moveTo(-5, 0.5);
    check.lineTo(-1.5, 4);
    check.lineTo(5, -4);
    painter.setPen(QPen(Qt::black, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(check);
  }
}

}  // namespace pm
