#pragma once

#include <QAbstractButton>
#include <QImage>

#include "panel/TileStatus.h"

namespace pm {

// The symbol in the middle of a tile that needs the user: an orange warning triangle for a file held back
// as sensitive, a red octagon with a cross for a file that failed. Pressing it opens the explanation.
class TileBadgeButton final : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TileBadgeButton(QWidget* parent = nullptr);

  TileBadge kind() const { return kind_; }
  void setKind(TileBadge kind);

  QSize sizeHint() const override { return {36, 36}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TileBadge kind_ = TileBadge::none;
  QImage shadow_;
  TileBadge shadowKind_ = TileBadge::none;
};

}  // namespace pm
