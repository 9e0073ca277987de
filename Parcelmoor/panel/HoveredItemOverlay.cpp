#include "panel/HoveredItemOverlay.h"

#include "panel/HoveredItemLabel.h"

namespace pm {

namespace {

constexpr double kInset = 106;
constexpr double kTopBoxWidth = 240;

}  // namespace

QRectF hoveredItemLabelFrame(const HoveredItem& item, PanelEdge edge, const QSizeF& overlay, const QSizeF& label) {
  const double height = HoveredItemLabel::kHeight;
  switch (edge) {
    case PanelEdge::top: {
      const double box = item.midX - kTopBoxWidth / 2;
      return {box + (kTopBoxWidth - label.width()) / 2, kInset, label.width(), height};
    }
    case PanelEdge::right:
      return {overlay.width() - kInset - label.width(), item.midY - height / 2, label.width(), height};
    case PanelEdge::left:
      break;
  }
  return {kInset, item.midY - height / 2, label.width(), height};
}

HoveredItemOverlay::HoveredItemOverlay(QWidget* parent) : QWidget(parent), label_(new HoveredItemLabel(this)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  label_->hide();
}

void HoveredItemOverlay::setHoveredItem(const std::optional<HoveredItem>& item, PanelEdge edge) {
  item_ = item;
  edge_ = edge;
  place();
}

void HoveredItemOverlay::resizeEvent(QResizeEvent*) { place(); }

void HoveredItemOverlay::place() {
  if (!item_) {
    label_->hide();
    return;
  }
  label_->setItem(*item_);
  const QSize size = label_->sizeHint();
  label_->setGeometry(hoveredItemLabelFrame(*item_, edge_, QSizeF(this->size()), QSizeF(size)).toRect());
  label_->show();
  label_->raise();
}

}  // namespace pm
