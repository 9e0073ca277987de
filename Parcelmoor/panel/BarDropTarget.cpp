#include "panel/BarDropTarget.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include "panel/BarFrame.h"
#include "upload/BucketStore.h"
#include "upload/UploadSession.h"

namespace pm {

namespace {

constexpr int kDropHighlightMs = 150;

QStringList localPaths(const QList<QUrl>& urls) {
  QStringList paths;
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

BarDropTarget::BarDropTarget(QWidget& view, const BarFrame& frame, BucketStore& store)
    : view_(view), frame_(frame), store_(store) {
  view_.setAcceptDrops(true);
  view_.installEventFilter(this);
  highlightAnimation_.setEasingCurve(QEasingCurve::OutCubic);
  connect(&highlightAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    highlight_ = value.toDouble();
    view_.update();
  });
}

bool BarDropTarget::handleDrop(const QList<QUrl>& urls) {
  const QStringList paths = localPaths(urls);
  if (paths.isEmpty()) return false;
  // Without a session there is nowhere for the files to go: refusing lets the drag snap back instead of
  // the files silently vanishing.
  const std::shared_ptr<UploadSession> open = store_.session();
  if (!open) return false;
  open->enqueue(paths);
  return true;
}

void BarDropTarget::setDropTarget(bool target) {
  if (target == isDropTarget_) return;
  isDropTarget_ = target;
  highlightAnimation_.stop();
  const int duration = int(kDropHighlightMs * animationScale_);
  if (duration <= 0) {
    highlight_ = target ? 1 : 0;
    view_.update();
    return;
  }
  highlightAnimation_.setDuration(duration);
  highlightAnimation_.setStartValue(highlight_);
  highlightAnimation_.setEndValue(target ? 1.0 : 0.0);
  highlightAnimation_.start();
}

bool BarDropTarget::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &view_) return false;
  switch (event->type()) {
    case QEvent::DragEnter: {
      auto* enter = static_cast<QDragEnterEvent*>(event);
      const bool hasUrls = enter->mimeData()->hasUrls();
      // Entering anywhere in the panel keeps the drag coming so it can still reach the bar.
      if (hasUrls) enter->acceptProposedAction();
      setDropTarget(hasUrls && frame_.rect().contains(enter->position().toPoint()));
      return true;
    }
    case QEvent::DragMove: {
      auto* move = static_cast<QDragMoveEvent*>(event);
      const bool overBar = move->mimeData()->hasUrls() && frame_.rect().contains(move->position().toPoint());
      setDropTarget(overBar);
      if (overBar)
        move->acceptProposedAction();
      else
        move->ignore();
      return true;
    }
    case QEvent::DragLeave:
      setDropTarget(false);
      return true;
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      setDropTarget(false);
      if (frame_.rect().contains(drop->position().toPoint()) && handleDrop(drop->mimeData()->urls()))
        drop->acceptProposedAction();
      else
        drop->ignore();
      return true;
    }
    default:
      return false;
  }
}

void BarDropTarget::paint(QPainter& painter) const {
  if (highlight_ <= 0) return;
  constexpr double inset = 1.5;
  constexpr double radius = BarMetrics::kCornerRadius - inset;
  QPainterPath ring;
  ring.addRoundedRect(QRectF(frame_.rect()).adjusted(inset, inset, -inset, -inset), radius, radius);
  QColor accent = view_.palette().color(QPalette::Highlight);
  accent.setAlphaF(float(highlight_));
  painter.setPen(QPen(accent, 3.0));
  painter.drawPath(ring);
}

}  // namespace pm
