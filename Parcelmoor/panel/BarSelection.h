#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <optional>

#include "panel/TileSelection.h"

namespace pm {

// Which tiles of the bar are selected, and the tile the last click or arrow key went to. The rules take
// the item identifiers in bucket order; observers hear only of real changes.
class BarSelection final : public QObject {
  Q_OBJECT

 public:
  using Order = QList<QUuid>;

  explicit BarSelection(QObject* parent = nullptr) : QObject(parent) {}

  const QSet<QUuid>& ids() const { return ids_; }
  const std::optional<QUuid>& anchor() const { return anchor_; }
  bool contains(const QUuid& id) const { return ids_.contains(id); }
  void setIds(QSet<QUuid> ids);
  void setAnchor(std::optional<QUuid> anchor);

  // A click on the tile of `id`: replace, toggle or extend by a range from the anchor.
  void click(const QUuid& id, TileSelection mode, const Order& order);
  // An arrow key: one step (−1 or +1) from the anchor, clamped; from no anchor the first or last item.
  void move(int delta, bool extending, const Order& order);
  // Drops what is no longer in the bucket.
  void prune(const Order& order);
  void clear();
  // The first selected item in bucket order.
  std::optional<QUuid> firstSelected(const Order& order) const;

 Q_SIGNALS:
  void idsChanged();
  void anchorChanged();

 private:
  QSet<QUuid> ids_;
  std::optional<QUuid> anchor_;
};

}  // namespace pm
