#pragma once

#include <QPainterPath>
#include <QRect>
#include <QWidget>

namespace pm::settings {

// A small window that holds an explanation or a picker over the settings window: a framed bubble whose
// arrow points at the button that opened it, under that button (over it when the screen has no room
// below), kept on the screen. It closes at a click elsewhere or Escape and is deleted when it closes,
// with its content.
class Popover final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kArrowLength = 8;
  static constexpr int kArrowHalfWidth = 8;
  static constexpr int kCornerRadius = 8;
  // Kept free between the popover and the screen's edges.
  static constexpr int kScreenMargin = 6;

  // Where a bubble of `bubble` size goes for an `anchor` (global) on a screen whose free area is `screen`:
  // the window's frame (arrow included), the arrow's tip along the frame's width, and whether the bubble
  // stands above the anchor.
  struct Placement {
    QRect frame;
    int arrowX = 0;
    bool above = false;
  };
  static Placement place(const QRect& anchor, const QSize& bubble, const QRect& screen);

  // Takes `content` into the bubble; `parent` is the widget the popover belongs to.
  Popover(QWidget* content, QWidget* parent);

  QWidget& content() const { return *content_; }
  // Whether the corners are drawn over what lies below (a compositing desktop) rather than cut by a mask.
  bool isTranslucent() const { return translucent_; }
  bool isAbove() const { return placement_.above; }
  // Places the popover at `anchor` and shows it.
  void showAt(const QWidget& anchor);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The bubble and its arrow, in the window's coordinates, `inset` inside the window's edge.
  QPainterPath outline(qreal inset) const;

  QWidget* content_;
  Placement placement_;
  bool translucent_ = false;
};

}  // namespace pm::settings
