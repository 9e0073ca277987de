#pragma once

#include <QWidget>

namespace pm::settings {

// The sync row's picture: two chasing arrows in white on a 28-point rounded square, green while the user
// is signed in and grey otherwise.
class SyncTile final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kSide = 28;
  static constexpr int kRadius = 7;

  explicit SyncTile(QWidget* parent = nullptr);

  bool isActive() const { return active_; }
  void setActive(bool active);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool active_ = false;
};

}  // namespace pm::settings
