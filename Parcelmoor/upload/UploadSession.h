#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <QCoroTask>

#include <memory>
#include <optional>
#include <utility>

#include "core/Bucket.h"
#include "core/UploadError.h"
#include "core/UploaderConfig.h"
#include "platform/Async.h"
#include "platform/ShardedHash.h"
#include "upload/ArrivingFiles.h"
#include "upload/BucketUploader.h"
#include "upload/UploadTypes.h"
#include "upload/WaitingDestination.h"

namespace pm {

class BucketStore;

// The engine of one open bucket: adds dropped files as items, holds back the sensitive ones until the user
// approves them, has the uploader plan every file, uploads at most four items at a time and, on finish,
// lets the uploader end the bucket. Every failure ends as an UploadError on an item or in the phase;
// nothing is retried. Lives on the main thread; made by the bucket store (create()) and held by shared
// pointers, because its running tasks keep it alive until they end.
class UploadSession final : public QObject, public std::enable_shared_from_this<UploadSession> {
  Q_OBJECT

 public:
  class Phase {
   public:
    enum class Case { failed, done, collecting, finalizing };

    static Phase collecting() { return Phase(Case::collecting); }
    static Phase finalizing() { return Phase(Case::finalizing); }
    static Phase failed(UploadError error) { return Phase(Case::failed, std::move(error)); }
    static Phase done(std::optional<QUrl> share) {
      Phase phase(Case::done);
      phase.share_ = std::move(share);
      return phase;
    }

    Case kind() const { return kind_; }
    // The error of `failed`.
    const std::optional<UploadError>& error() const { return error_; }
    // The link of `done`, when the connection gives one.
    const std::optional<QUrl>& share() const { return share_; }

    bool operator==(const Phase&) const = default;

   private:
    explicit Phase(Case kind, std::optional<UploadError> error = std::nullopt)
        : kind_(kind), error_(std::move(error)) {}

    Case kind_;
    std::optional<UploadError> error_;
    std::optional<QUrl> share_;
  };

  static constexpr qsizetype kMaxItemTasks = 4;
  // A batch enters the bucket this many files a turn of the event loop, so that dropping a hundred
  // thousand files never holds the bar still for longer than a frame.
  static constexpr qsizetype kItemsAddedPerTurn = 256;

  static std::shared_ptr<UploadSession> create(std::shared_ptr<Bucket> bucket, UploaderConfig config,
                                               std::unique_ptr<BucketUploader> uploader);
  ~UploadSession() override;

  Bucket& bucket() const { return *bucket_; }
  const std::shared_ptr<Bucket>& bucketPointer() const { return bucket_; }
  const UploaderConfig& config() const { return config_; }
  BucketUploader& uploader() const { return *uploader_; }
  const Phase& phase() const { return phase_; }

  BucketStore* store() const { return store_.data(); }
  void setStore(BucketStore* store);

  // Adds the files to the bucket and starts the upload of every new item that needs no approval; a batch
  // of more than kItemsAddedPerTurn files enters over several turns, behind any still entering. While
  // the bucket is being finished the files are kept for the bucket that follows (or, should finishing
  // fail, for this one): the finished share must not change under the user, and nothing may be lost.
  void enqueue(const QStringList& urls);
  // The user's consent to upload a sensitive item.
  void approve(const QUuid& itemID);
  // Takes an item out of the bucket, stopping its upload and withdrawing what was placed. Refused while
  // the uploader forbids removal or while the bucket is being finished.
  void remove(const QUuid& itemID);

  bool canFinish() const;
  // Lets the uploader end the bucket. Nothing when the bucket cannot be finished now or finishing failed
  // (the phase then holds the error and the user may try again). The result names the files that failed
  // in the bucket, which the share goes without.
  QCoro::Task<std::optional<ResponseItem>> finish();
  // Stops every running task and forgets all planning state; the session starts nothing afterwards.
  void cancelAll();

  // The planning state, for the views and the tests.
  const QList<UploadUnit>& pending() const { return pending_; }
  bool isRegistering() const { return pumpRunning_; }
  qsizetype runningItemCount() const { return itemTasks_.size(); }
  bool hasRunningTask(const QUuid& itemID) const { return itemTasks_.contains(itemID); }
  // The items registered and waiting for one of the item tasks, first to start first.
  const QList<QUuid>& queued() const { return queued_; }
  QList<UploadUnit> units(const QUuid& itemID) const { return planned_.value(itemID).units; }
  qint64 itemTotal(const QUuid& itemID) const { return planned_.value(itemID).total; }
  qint64 itemSent(const QUuid& itemID) const { return planned_.value(itemID).sent; }
  const QStringList& deferred() const { return deferred_; }
  // The files given to enqueue that are not in the bucket yet.
  QStringList arriving() const { return arriving_.all(); }

 Q_SIGNALS:
  void phaseChanged();
  void storeChanged();
  // Any of the planning state above changed.
  void workChanged();

 private:
  UploadSession(std::shared_ptr<Bucket> bucket, UploaderConfig config, std::unique_ptr<BucketUploader> uploader);

  void addSlice(const QStringList& urls, const QList<bool>& folders);
  QCoro::Task<> takeArriving();
  QCoro::Task<> ingest(QList<Bucket::ItemPointer> items);
  void startRegisterPump();
  QCoro::Task<> registerPending();
  QCoro::Task<> registerBatch(QList<UploadUnit> batch);
  void settle(const QUuid& itemID);
  void startQueued();
  QCoro::Task<> uploadItem(QUuid itemID, CancelTokenPtr cancel);
  void itemFinished(const QUuid& itemID, const CancelTokenPtr& cancel);
  void relayProgress(const UploadUnit& unit, double fraction);
  void updateProgress(const UploadUnit& unit, double fraction);
  void withdrawInBackground(QList<UploadUnit> units);

  void setPhase(Phase phase);
  // The files of the bucket that failed, by their path in it.
  QStringList failedFiles() const;
  void recordError(const QUuid& itemID, const QString& path, const UploadError& error);
  bool holdsItem(const QUuid& itemID) const { return bucket_->item(itemID) != nullptr; }

  std::shared_ptr<Bucket> bucket_;
  UploaderConfig config_;
  std::unique_ptr<BucketUploader> uploader_;
  Phase phase_ = Phase::collecting();
  QPointer<BucketStore> store_;

  QList<UploadUnit> pending_;
  bool pumpRunning_ = false;
  QHash<QUuid, CancelTokenPtr> itemTasks_;
  // Only identifiers wait here: what an item's upload needs stays in `planned_`, kept once.
  QList<QUuid> queued_;
  // The items of `queued_`, so asking whether one waits costs the same however many do.
  ShardedHash<QSet<QUuid>> queuedIDs_;
  // What the session keeps of each item it planned, in one place per item, since a bucket may hold a
  // hundred thousand of them.
  struct PlannedItem {
    // Kept for the item's life: failures are counted against them and a removal withdraws them.
    QList<UploadUnit> units;
    // Where the placed units go, in the order of `units`; held only from registration until the item's
    // upload ends.
    QList<WaitingDestination> destinations;
    qint64 total = 0;
    qint64 sent = 0;
  };
  // In parts, like every table here that grows with the bucket: see ShardedHash.
  ShardedHash<QHash<QUuid, PlannedItem>> planned_;
  QStringList deferred_;
  ArrivingFiles arriving_;
  // Items in the bucket whose planning has not started, in the order they entered.
  QList<QList<Bucket::ItemPointer>> toIngest_;
  bool arrivalRunning_ = false;
  bool cancelled_ = false;
};

}  // namespace pm
