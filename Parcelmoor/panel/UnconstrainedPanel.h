#pragma once

#include <QRegion>
#include <QWidget>

namespace pm {

// The floating panel's window: frameless, above ordinary windows, shown without taking the focus, with a
// transparent background. Its frame stays exactly as set, also where it reaches beyond the screen (Qt
// never corrects a top-level's position). It may still become the active window when asked, as a click on
// a tile does. Because X11 gives a transparent window every click over its whole rectangle, only the
// input region set here (the bar and what floats over it) takes clicks; the rest reaches the windows below.
// The region limits clicks only: everything the panel draws stays visible.
// It shows on every virtual desktop where the window manager offers that.
class UnconstrainedPanel final : public QWidget {
  Q_OBJECT

 public:
  explicit UnconstrainedPanel(QWidget* parent = nullptr);

  // The region, in this window's coordinates, that takes the mouse. An empty region takes nothing.
  void setInputRegion(const QRegion& region);
  const QRegion& inputRegion() const { return inputRegion_; }

  // Makes the panel the active window (the focus moves to it).
  void makeKey();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void applyInputRegion();

  QRegion inputRegion_;
};

}  // namespace pm
