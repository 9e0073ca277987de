#include "Standins.h"

#include "core/Bucket.h"
#include "platform/Log.h"
#include "upload/BucketStore.h"

namespace pm {

void HeadlessUploadPanel::attach(BucketStore& store, AppSettings&) {
  store_ = &store;
}

void HeadlessUploadPanel::show() {
  const qsizetype items = store_ ? store_->current().items().size() : 0;
  qCInfo(lcApp, "the bucket holds %lld items (the bar is not built yet)", qlonglong(items));
}

}  // namespace pm
