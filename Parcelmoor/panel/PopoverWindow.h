#pragma once

#include <QRect>
#include <QWidget>

#include "core/PanelEdge.h"

namespace pm {

// The side of its anchor a popover opens on: the side that faces into the screen from the panel's edge.
enum class PopoverSide { trailing, bottom, leading };

PopoverSide popoverSide(PanelEdge edge);

// The popover window's frame (global, top-left origin) for a bubble of `content` size beside `anchor`,
// the arrow included, centred on the anchor along the other axis.
QRect popoverFrame(const QRect& anchor, const QSize& content, PopoverSide side);

// A small window that holds a popover's content in a bubble whose arrow points at the anchor. It closes
// when the user clicks elsewhere or presses Escape, and is deleted when it closes.
class PopoverWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kArrowLength = 9;

  PopoverWindow(QWidget* content, PanelEdge edge, QWidget* parent = nullptr);

  QWidget& content() const { return *content_; }
  PopoverSide side() const { return side_; }
  // Places the window beside `anchor` (global coordinates) and shows it.
  void showBeside(const QRect& anchor);

 Q_SIGNALS:
  void closed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QWidget* content_;
  PopoverSide side_;
  QRect anchor_;
};

}  // namespace pm
