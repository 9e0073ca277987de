#pragma once

#include <QPointer>

#include <memory>
#include <optional>

#include "core/UploadError.h"
#include "platform/Async.h"
#include "upload/BucketUploader.h"
#include "upload/UploadTypes.h"

namespace pm::test {

// How an upload left running in the background ended.
struct BackgroundUpload {
  bool done = false;
  std::optional<UploadError> failure;
};

// Starts uploading `unit` and leaves it running, as the upload session's item task does.
inline std::shared_ptr<BackgroundUpload> startUpload(QPointer<BucketUploader> uploader, UploadUnit unit,
                                                     UploadDestination destination, CancelTokenPtr cancel = {}) {
  auto outcome = std::make_shared<BackgroundUpload>();
  [](QPointer<BucketUploader> running, UploadUnit sent, UploadDestination to, CancelTokenPtr token,
     std::shared_ptr<BackgroundUpload> out) -> QCoro::Task<> {
    try {
      co_await running->upload(std::move(sent), std::move(to), {}, std::move(token));
    } catch (const UploadError& error) {
      out->failure = error;
    }
    out->done = true;
  }(std::move(uploader), std::move(unit), std::move(destination), std::move(cancel), outcome);
  return outcome;
}

}  // namespace pm::test
