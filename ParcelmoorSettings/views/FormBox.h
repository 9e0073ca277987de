#pragma once

#include <QWidget>

namespace pm::settings {

// The rounded box of a form section: the base colour inside a thin border, with a thin line between each
// two shown rows. Painted from the palette each time, so it follows a change of theme.
class FormBox final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRowMargin = 10;

  explicit FormBox(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pm::settings
