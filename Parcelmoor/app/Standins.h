#pragma once

#include "app/UploadPanel.h"

namespace pm {

// What the agent runs with where its own piece is not built yet: each says so in the log and does no
// harm. They are replaced one by one as the panel, the drive sign-ins, the synced-folder check and
// settings sync arrive.

// Uploads run without a visible bar; the log tells when the bar would show.
class HeadlessUploadPanel final : public UploadPanel {
 public:
  void attach(BucketStore& store, AppSettings& settings) override;
  void show() override;
  void applyEdgeSetting() override {}

 private:
  BucketStore* store_ = nullptr;
};

}  // namespace pm
