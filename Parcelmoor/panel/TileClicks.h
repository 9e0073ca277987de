#pragma once

#include <QWidget>

#include <functional>

namespace pm {

// An invisible catcher laid over a tile that reports every press of the primary button with its click
// count and the modifier keys held: 1 for a press, 2 for the second press of a double click (a third
// press counts 1 again, as Qt delivers it). Also the press that lands on the inactive panel: X11 gives it
// to the window under the pointer, and nothing here swallows it. Other buttons pass through to the tile.
class TileClicks final : public QWidget {
  Q_OBJECT

 public:
  using OnClick = std::function<void(int clickCount, Qt::KeyboardModifiers modifiers)>;

  explicit TileClicks(OnClick onClick, QWidget* parent = nullptr);
  void setOnClick(OnClick onClick) { onClick_ = std::move(onClick); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void report(QMouseEvent* event, int clickCount);

  OnClick onClick_;
};

}  // namespace pm
