#pragma once

#include <QAbstractButton>

#include <chrono>

#include "panel/EasedValue.h"

namespace pm {

// The small cross in a hovered tile's top-trailing corner that takes the item out of the bucket. It grows
// in from nothing and fades as it comes and goes; under the pointer its dark disc turns fully opaque.
class TileRemoveButton final : public QAbstractButton {
  Q_OBJECT

 public:
  static constexpr int kSide = 24;  // a 16-point symbol with 4 points around it

  explicit TileRemoveButton(QWidget* parent = nullptr);

  // Shows or hides the button with its transition over `duration`.
  void setShown(bool shown, std::chrono::milliseconds duration);
  bool isShown() const { return shown_; }
  bool isHoveringButton() const { return hovering_; }
  void setHoverDuration(std::chrono::milliseconds duration) { hoverDuration_ = duration; }

  QSize sizeHint() const override { return {kSide, kSide}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  bool shown_ = false;
  bool hovering_ = false;
  std::chrono::milliseconds hoverDuration_{120};
  EasedValue appearance_;
  EasedValue discOpacity_;
};

}  // namespace pm
