#pragma once

#include <QObject>

#include "core/PanelEdge.h"
#include "panel/EasedScroll.h"
#include "panel/ScrollEdges.h"

class QScrollArea;
class QScrollBar;

namespace pm {

class Clock;
class StripFadeEffect;

// Where the bar's strip is scrolled to and how its ends show it: the strip glides to its end as new tiles
// arrive and just far enough to bring a chosen place into view, and each end with tiles beyond it fades.
class StripScroll final : public QObject {
  Q_OBJECT

 public:
  // `strip` and `clock` must outlive the scroll; the strip takes the fade.
  StripScroll(QScrollArea& strip, const Clock& clock);

  void setPanelEdge(PanelEdge edge);
  // Multiplies every glide's duration; 0 makes every change immediate.
  void setAnimationScale(double scale) { animationScale_ = scale; }
  // Which ends have tiles scrolled beyond them.
  const ScrollEdges& edges() const { return edges_; }
  // Whether a glide to the end that new tiles started is still on its way.
  bool isFollowingEnd() const { return followingEnd_; }

  // Glides to the strip's end once the strip has taken its new length.
  void followEnd();
  // Glides just far enough to bring the span from `start` to `end` of the content wholly into view, from
  // where a glide under way is heading. It wins over a follow of the end.
  void reveal(int start, int end);
  // Reads which ends have tiles beyond them and fades those.
  void measureEdges();

 private:
  QScrollBar* bar() const;
  void glide(int to, int milliseconds);

  QScrollArea& strip_;
  StripFadeEffect* fade_;
  EasedScroll scroll_;
  PanelEdge edge_ = PanelEdge::left;
  double animationScale_ = 1.0;
  ScrollEdges edges_;
  bool followingEnd_ = false;
};

}  // namespace pm
