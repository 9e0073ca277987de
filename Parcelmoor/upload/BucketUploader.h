#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <memory>

#include "platform/Async.h"
#include "upload/UploadTypes.h"

class QIODevice;
class QNetworkAccessManager;

namespace pm {

// Receives the fraction (0 to 1) of one transfer that is done.
using ProgressCallback = std::function<void(double fraction)>;

// An idle transfer fails after this long without a byte moving.
inline constexpr std::chrono::milliseconds kUploadRequestTimeout = std::chrono::seconds(60);

// Turns "bytes of the body sent so far" into fractions, passed on at most every half percent so a large
// file yields about two hundred reports instead of one per socket write. One relay serves one transfer.
class ProgressRelay final : public QObject {
  Q_OBJECT

 public:
  static constexpr double kStep = 0.005;

  explicit ProgressRelay(ProgressCallback onProgress, QObject* parent = nullptr);

  double last() const { return last_; }

 public Q_SLOTS:
  void bodySent(qint64 sent, qint64 total);

 private:
  ProgressCallback onProgress_;
  double last_ = 0;
};

// The answer to a successful file upload.
struct UploadResponse {
  int status = 0;
  QList<QPair<QByteArray, QByteArray>> headers;
  QByteArray body;  // what the service said about the stored file (some name it here)

  // The value of a header field, found case-insensitively; empty when absent.
  QByteArray header(QByteArrayView name) const;
};

// A chunk of a larger file, given as its place in the whole (in bytes). The file sent holds just the chunk.
struct ByteRange {
  qint64 offset = 0;
  qint64 length = 0;
  qint64 total = 0;

  // How far the whole file is when `fraction` of this chunk is sent; whole bytes only. A range of an
  // empty whole reports the chunk's own fraction rather than a division by zero.
  double fractionOfWhole(double fraction) const {
    if (total < 1) return fraction;
    return double(offset + qint64(double(length) * fraction)) / double(total);
  }
};

// Part `index` (counted from 0) of `count` equal shares of one upload.
struct PartPosition {
  qint64 index = 0;
  double count = 1;

  double fractionOfWhole(double fraction) const { return (double(index) + fraction) / count; }
};

// The base of every connection's uploader. The upload session drives an uploader only through the
// virtual operations below; the file uploads are the common way to move a file's bytes over HTTP, sent
// by libcurl on a transfer thread (HttpBodyTransfer). Lives on the main thread; the network access
// manager is the program's one upload session, whose proxy the bodies take too.
class BucketUploader : public QObject {
  Q_OBJECT

 public:
  explicit BucketUploader(QNetworkAccessManager& network, QObject* parent = nullptr);
  ~BucketUploader() override;

  // Whether items may still be taken out of the running bucket.
  virtual bool allowsRemoval() const;
  // Plans a destination for each accepted unit and an error for each refused unit.
  virtual QCoro::Task<Registration> registerUnits(QList<UploadUnit> units);
  // Moves one unit's bytes. Cancelling `cancel` aborts the transfer with the `cancelled` error.
  virtual QCoro::Task<> upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                               CancelTokenPtr cancel);
  // Undoes what was placed for units the user removed.
  virtual QCoro::Task<> withdraw(QList<UploadUnit> units);
  // Ends the bucket and yields what the user gets back.
  virtual QCoro::Task<ResponseItem> finalize();

  // Sends the file as the request body, streamed from disk. Progress is the fraction of the body sent,
  // then 1.0 on success. Throws UploadError: `http` outside 200-299, `transport` for anything that is
  // not an HTTP answer or never arrives, `cancelled` when `cancel` fired, `fileUnreadable`. A body that
  // had gone out whole when `cancel` fired has its answer read, and a success returns as one.
  QCoro::Task<UploadResponse> uploadFile(QString filePath, UploadDestination destination,
                                         ProgressCallback progress, CancelTokenPtr cancel = {});
  // As above for a file holding one chunk of a larger one; progress is reported for the whole.
  QCoro::Task<UploadResponse> uploadFile(QString filePath, ByteRange range, UploadDestination destination,
                                         ProgressCallback progress, CancelTokenPtr cancel = {});
  // As above for one of `part.count` parts; progress is reported for the whole.
  QCoro::Task<UploadResponse> uploadFile(QString filePath, PartPosition part, UploadDestination destination,
                                         ProgressCallback progress, CancelTokenPtr cancel = {});
  // As above with the body read from `body`: open, random-access (its size is the body's length) and
  // taken over by the transfer. Throws as above.
  QCoro::Task<UploadResponse> uploadBody(std::unique_ptr<QIODevice> body, PartPosition part,
                                         UploadDestination destination, ProgressCallback progress,
                                         CancelTokenPtr cancel = {});

  // The `transport` text of an upload whose connection the server closed without an answer, or after
  // answering before it had the body, as a server that refuses a request while its body is under way does.
  static QString cutOffText();

  std::chrono::milliseconds requestTimeout() const { return requestTimeout_; }
  void setRequestTimeout(std::chrono::milliseconds timeout) { requestTimeout_ = timeout; }

 private:
  // `toWhole` maps the fraction of this body to the fraction reported; success reports toWhole(1.0).
  QCoro::Task<UploadResponse> send(QString filePath, UploadDestination destination,
                                   std::function<double(double)> toWhole, ProgressCallback progress,
                                   CancelTokenPtr cancel);
  QCoro::Task<UploadResponse> send(std::unique_ptr<QIODevice> body, UploadDestination destination,
                                   std::function<double(double)> toWhole, ProgressCallback progress,
                                   CancelTokenPtr cancel);

  QNetworkAccessManager& network_;
  std::chrono::milliseconds requestTimeout_ = kUploadRequestTimeout;
};

}  // namespace pm
