#pragma once

#include <QObject>

#include <memory>

#include "upload/BucketUploader.h"

namespace pm {

// Hands progress reports made on a worker thread to the thread that created the poster, in order. The
// poster must outlive the work (the awaiting coroutine holds it); reports still queued when it is
// destroyed are dropped with it.
class ProgressPoster {
 public:
  explicit ProgressPoster(ProgressCallback onProgress) : onProgress_(std::move(onProgress)) {}

  // Callable from any thread.
  void post(double fraction) const {
    if (!onProgress_) return;
    QMetaObject::invokeMethod(
        &receiver_, [report = onProgress_, fraction] { report(fraction); }, Qt::QueuedConnection);
  }

  // The receiver on the poster's thread, for connections that must end with the poster.
  QObject* receiver() const { return &receiver_; }

 private:
  mutable QObject receiver_;
  ProgressCallback onProgress_;
};

}  // namespace pm
