#pragma once

#include <QLabel>

namespace pm::settings {

// A text that asks its row for the room of one line and wraps only when the row cannot give it that
// much. A word-wrapped QLabel asks for a narrow column instead and wraps while the row has room to spare.
class FlowLabel : public QLabel {
  Q_OBJECT

 public:
  explicit FlowLabel(const QString& text = {}, QWidget* parent = nullptr);

  // The width the whole text takes on one line, margins included.
  int oneLineWidth() const;
  // The width of the widest piece of the text that cannot be broken over two lines, margins included.
  int widestWordWidth() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 private:
  int extraWidth() const;
};

}  // namespace pm::settings
