#pragma once

#include <QFrame>

namespace pm::settings {

// The explanation of sync behind the sync row's info button: a popup 300 points wide above its anchor,
// gone at the next click elsewhere or Escape.
class AboutSyncPopover final : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kWidth = 300;

  explicit AboutSyncPopover(QWidget* parent = nullptr);

  // Shows the popover with its bottom edge centred on the top of `anchor`.
  void showAbove(const QWidget& anchor);
};

}  // namespace pm::settings
