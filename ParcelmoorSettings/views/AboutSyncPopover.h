#pragma once

#include <QWidget>

namespace pm::settings {

// The explanation of sync behind the sync row's info button, 300 points wide, shown in a popover.
class AboutSyncPopover final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 300;

  explicit AboutSyncPopover(QWidget* parent = nullptr);
};

}  // namespace pm::settings
