#pragma once

#include <QObject>

namespace pm {

// The signals of one bucket item, for a view that follows that item alone (a tile, a popover). An item
// makes its notifier only while someone holds it: a bucket of a hundred thousand items would otherwise
// carry a QObject for each, though only the few on screen are ever watched. Lives on the main thread.
class BucketItemNotifier final : public QObject {
  Q_OBJECT

 Q_SIGNALS:
  void stateChanged();
  void errorsChanged();
  void consentedChanged();
};

}  // namespace pm
