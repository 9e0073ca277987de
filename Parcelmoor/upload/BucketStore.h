#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

#include "core/Bucket.h"
#include "core/SharedInbox.h"
#include "core/UploaderConfig.h"

namespace pm {

class BucketHistory;
class BucketUploader;
class Clock;
class UploadSession;

// The agent's one owner of buckets: there is always exactly one current, open bucket that takes new
// items; its upload session starts with the first files for a connection; a finished bucket goes into
// the history and a fresh one takes its place. Lives on the main thread.
class BucketStore final : public QObject {
  Q_OBJECT

 public:
  using PublishOpenBucket = std::function<void(const std::optional<SharedInbox::OpenBucket>&)>;
  using MakeUploader = std::function<std::unique_ptr<BucketUploader>()>;

  // `history` and `clock` must outlive the store. `publishOpenBucket` tells other processes which bucket
  // is open (the agent passes SharedInbox::publish).
  BucketStore(BucketHistory& history, PublishOpenBucket publishOpenBucket, const Clock& clock,
              QObject* parent = nullptr);
  ~BucketStore() override;

  // Every bucket of this run, oldest first; the last is current.
  const QList<std::shared_ptr<Bucket>>& buckets() const { return buckets_; }
  Bucket& current() const { return *buckets_.last(); }
  const std::shared_ptr<Bucket>& currentPointer() const { return buckets_.last(); }
  // The session of the current bucket, while it has one.
  const std::shared_ptr<UploadSession>& session() const { return session_; }

  // The running session, whatever its connection; otherwise a new one for `config` with the uploader
  // `makeUploader` makes, published as the open bucket.
  std::shared_ptr<UploadSession> session(const UploaderConfig& config, const MakeUploader& makeUploader);
  // Records the finished current bucket and opens a fresh one. `leftovers` (files that arrived while the
  // bucket was being finished) start the fresh bucket on the same connection.
  void complete(const std::optional<QUrl>& shareURL, const QStringList& leftovers = {});
  // Stops and forgets the session; the current bucket stays open and unrecorded.
  void discardSession();
  std::shared_ptr<Bucket> startNewBucket();

 Q_SIGNALS:
  void bucketsChanged();
  void currentChanged();
  void sessionChanged();

 private:
  void setSession(std::shared_ptr<UploadSession> session);

  BucketHistory& history_;
  PublishOpenBucket publishOpenBucket_;
  const Clock& clock_;
  QList<std::shared_ptr<Bucket>> buckets_;
  std::shared_ptr<UploadSession> session_;
  MakeUploader makeUploader_;
};

}  // namespace pm
