#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace pm::settings {

// What a button shows while the work it started runs: a small spinner beside a text, in place of the
// button's own label (which cannot hold a moving picture). The button is made wide enough for both.
class SpinnerFace final : public QWidget {
  Q_OBJECT

 public:
  SpinnerFace(QPushButton* button, const QString& text, int diameter = 12);

  // Shows the face, or hides it and lets the button be as narrow as its own label again.
  void setShown(bool shown);
  QLabel* label() const { return label_; }

 private:
  QPushButton* button_;
  QLabel* label_;
};

}  // namespace pm::settings
