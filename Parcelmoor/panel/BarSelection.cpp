#include "BarSelection.h"

#include <algorithm>

namespace pm {

void BarSelection::setIds(QSet<QUuid> ids) {
  if (ids == ids_) return;
  ids_ = std::move(ids);
  Q_EMIT idsChanged();
}

void BarSelection::setAnchor(std::optional<QUuid> anchor) {
  if (anchor == anchor_) return;
  anchor_ = anchor;
  Q_EMIT anchorChanged();
}

void BarSelection::click(const QUuid& id, TileSelection mode, const Order& order) {
  switch (mode) {
    case TileSelection::replace:
      break;
    case TileSelection::toggle: {
      QSet<QUuid> ids = ids_;
      if (!ids.remove(id)) ids.insert(id);
      setIds(std::move(ids));
      setAnchor(id);
      return;
    }
    case TileSelection::range: {
      const qsizetype from = anchor_ ? order.indexOf(*anchor_) : -1;
      const qsizetype to = order.indexOf(id);
      if (from < 0 || to < 0) break;
      QSet<QUuid> ids = ids_;
      for (qsizetype i = std::min(from, to); i <= std::max(from, to); ++i) ids.insert(order[i]);
      setIds(std::move(ids));
      return;
    }
  }
  setIds({id});
  setAnchor(id);
}

void BarSelection::move(int delta, bool extending, const Order& order) {
  if (order.isEmpty()) return;
  const qsizetype at = anchor_ ? order.indexOf(*anchor_) : -1;
  if (at < 0) {
    const QUuid target = delta < 1 ? order.last() : order.first();
    setIds({target});
    setAnchor(target);
    return;
  }
  const QUuid target = order[std::clamp<qsizetype>(at + delta, 0, order.size() - 1)];
  if (extending) {
    QSet<QUuid> ids = ids_;
    ids.insert(target);
    setIds(std::move(ids));
  } else {
    setIds({target});
  }
  setAnchor(target);
}

void BarSelection::prune(const Order& order) {
  const QSet<QUuid> current(order.begin(), order.end());
  setIds(QSet<QUuid>(ids_).intersect(current));
  if (anchor_ && !current.contains(*anchor_)) setAnchor(std::nullopt);
}

void BarSelection::clear() {
  setIds({});
  setAnchor(std::nullopt);
}

std::optional<QUuid> BarSelection::firstSelected(const Order& order) const {
  for (const QUuid& id : order) {
    if (ids_.contains(id)) return id;
  }
  return std::nullopt;
}

}  // namespace pm
