#pragma once

#include <QWidget>

class QPushButton;

namespace pm {

class BucketItem;

// Explains an item held back because it looks like a secret, and lets the user send it or take it out.
// Return sends it, as the default button's key.
class SensitiveFilePopover final : public QWidget {
  Q_OBJECT

 public:
  explicit SensitiveFilePopover(const BucketItem& item, QWidget* parent = nullptr);

  QPushButton& uploadButton() const { return *upload_; }
  QPushButton& removeButton() const { return *remove_; }

 Q_SIGNALS:
  void uploadRequested();
  void removeRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPushButton* upload_;
  QPushButton* remove_;
};

}  // namespace pm
