#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QVBoxLayout;

namespace pm {

class BucketItem;
class BucketItemNotifier;

// Lists why an item failed: its errors under the name of each failed file (for a folder) or alone (for a
// file), in the order of the file names. Follows the item, so errors that arrive while it is open appear.
class UploadErrorPopover final : public QWidget {
  Q_OBJECT

 public:
  explicit UploadErrorPopover(std::shared_ptr<BucketItem> item, QWidget* parent = nullptr);

 private:
  void rebuildList();

  std::shared_ptr<BucketItem> item_;
  std::shared_ptr<BucketItemNotifier> itemNotifier_;
  QWidget* list_;
  QVBoxLayout* listLayout_;
};

}  // namespace pm
