#include "panel/StripScroll.h"

#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <chrono>

#include "panel/StripFadeEffect.h"

namespace pm {

namespace {

constexpr int kFollowEndMs = 350;
constexpr int kRevealMs = 300;

}  // namespace

StripScroll::StripScroll(QScrollArea& strip, const Clock& clock)
    : strip_(strip), fade_(new StripFadeEffect(&strip)), scroll_(clock) {
  strip_.setGraphicsEffect(fade_);
  for (QScrollBar* each : {strip_.horizontalScrollBar(), strip_.verticalScrollBar()}) {
    connect(each, &QScrollBar::valueChanged, this, &StripScroll::measureEdges);
    connect(each, &QScrollBar::rangeChanged, this, &StripScroll::measureEdges);
  }
  connect(&scroll_, &EasedScroll::finished, this, [this] { followingEnd_ = false; });
  connect(&scroll_, &EasedScroll::valueChanged, this, [this](int value) { bar()->setValue(value); });
}

void StripScroll::setPanelEdge(PanelEdge edge) {
  edge_ = edge;
  measureEdges();
}

QScrollBar* StripScroll::bar() const {
  return edge_ == PanelEdge::top ? strip_.horizontalScrollBar() : strip_.verticalScrollBar();
}

void StripScroll::measureEdges() {
  const QSize viewport = strip_.viewport()->size();
  const QSize content = strip_.widget()->size();
  const int value = bar()->value();
  const QPointF offset = edge_ == PanelEdge::top ? QPointF(value, 0) : QPointF(0, value);
  const ScrollEdges measured = ScrollEdges::measure({content, viewport, offset}, edge_);
  fade_->setFade(measured, edge_);
  edges_ = measured;
}

void StripScroll::followEnd() {
  // The scroll bars take the strip's new length with the stack's resize, which a hidden view gets late;
  // follow the end once they have.
  followingEnd_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        glide(bar()->maximum(), kFollowEndMs);
        if (!scroll_.isRunning()) followingEnd_ = false;
      },
      Qt::QueuedConnection);
}

void StripScroll::reveal(int start, int end) {
  const int viewLength = edge_ == PanelEdge::top ? strip_.viewport()->width() : strip_.viewport()->height();
  // Keys pressed in quick succession each go on from where the glide under way is heading.
  int to = scroll_.isRunning() ? scroll_.target() : bar()->value();
  if (start < to)
    to = start;
  else if (end > to + viewLength)
    to = end - viewLength;
  // The user's choice wins over a follow of new tiles still on its way; it glides as that follow does.
  followingEnd_ = false;
  glide(std::clamp(to, bar()->minimum(), bar()->maximum()), kRevealMs);
}

void StripScroll::glide(int to, int milliseconds) {
  scroll_.stop();
  const int duration = int(milliseconds * animationScale_);
  if (duration <= 0 || !strip_.isVisible()) {
    bar()->setValue(to);
    return;
  }
  scroll_.start(bar()->value(), to, std::chrono::milliseconds(duration));
}

}  // namespace pm
