#pragma once

#include <QObject>

#include <memory>

namespace pm {

class BucketItem;

// The signals of one bucket item, for a view that follows that item alone (a tile, a popover). An item
// makes its notifier only while someone holds it: a bucket of a hundred thousand items would otherwise
// carry a QObject for each, though only the few on screen are ever watched. Lives on the main thread.
class BucketItemNotifier final : public QObject, public std::enable_shared_from_this<BucketItemNotifier> {
  Q_OBJECT

 Q_SIGNALS:
  void stateChanged();
  void errorsChanged();
  void consentedChanged();

 private:
  friend class BucketItem;
  BucketItemNotifier() = default;

  // The item told of, which forgets the notifier when its last holder lets go; none once the item is gone.
  BucketItem* item_ = nullptr;
};

}  // namespace pm
