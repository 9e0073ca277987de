#pragma once

#include <QWidget>

class QTimer;

namespace pm::settings {

// A small indeterminate progress indicator: an arc turning while the spinner is shown.
class Spinner final : public QWidget {
  Q_OBJECT

 public:
  explicit Spinner(int diameter = 16, QWidget* parent = nullptr);

  QSize sizeHint() const override { return {diameter_, diameter_}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  int diameter_;
  int angle_ = 0;
  QTimer* turn_;
};

}  // namespace pm::settings
