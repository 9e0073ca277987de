#pragma once

#include <QWidget>

#include "panel/EasedValue.h"
#include "panel/HoveredItem.h"

class QPainter;

namespace pm {

// The dark capsule with a hovered item's name and, while it uploads, its percentage. As wide as its text,
// at most 224 points; a longer name loses its middle, so the start and the extension stay readable.
class HoveredItemLabel final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 26;
  static constexpr int kMaximumWidth = 224;

  explicit HoveredItemLabel(QWidget* parent = nullptr);

  const HoveredItem& item() const { return item_; }
  void setItem(const HoveredItem& item);
  // The name as it fits beside the percentage.
  QString shownName() const;

  // The fraction as a whole percentage, halves rounded away from zero: 0.125 → "13%".
  static QString percentText(double fraction);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int percentWidth() const;
  void drawPercent(QPainter& painter, const QRect& box, const QString& text, double opacity) const;

  HoveredItem item_;
  // The percentage a changing fraction fades away from, over a quarter second.
  QString fadingPercent_;
  EasedValue percentFade_;
};

}  // namespace pm
