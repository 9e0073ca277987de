#include "BucketStore.h"

#include "core/BucketHistory.h"
#include "platform/Clock.h"
#include "upload/BucketUploader.h"
#include "upload/UploadSession.h"

namespace pm {

namespace {
std::shared_ptr<Bucket> makeBucket(const Clock& clock) {
  // Buckets are shared with their sessions and views, never parented: the store's list owns them.
  return std::make_shared<Bucket>(clock);
}
}  // namespace

BucketStore::BucketStore(BucketHistory& history, PublishOpenBucket publishOpenBucket, const Clock& clock,
                         QObject* parent)
    : QObject(parent), history_(history), publishOpenBucket_(std::move(publishOpenBucket)), clock_(clock) {
  buckets_.append(makeBucket(clock_));
}

BucketStore::~BucketStore() {
  if (!session_) return;
  session_->setStore(nullptr);
  // The buckets' clock is the store's: a session that went on adding files (their folders are read on a
  // worker) would stamp them with a clock that is gone.
  session_->cancelAll();
}

void BucketStore::setSession(std::shared_ptr<UploadSession> session) {
  session_ = std::move(session);
  Q_EMIT sessionChanged();
}

std::shared_ptr<UploadSession> BucketStore::session(const UploaderConfig& config, const MakeUploader& makeUploader) {
  if (session_) return session_;
  auto created = UploadSession::create(currentPointer(), config, makeUploader());
  created->setStore(this);
  setSession(created);
  makeUploader_ = makeUploader;
  publishOpenBucket_(SharedInbox::OpenBucket{config.id, config.displayName(), clock_.now()});
  return created;
}

void BucketStore::complete(const std::optional<QUrl>& shareURL, const QStringList& leftovers) {
  current().setState(Bucket::State::completed(shareURL));
  history_.record(current(), shareURL);
  const std::optional<UploaderConfig> config =
      session_ ? std::optional<UploaderConfig>(session_->config()) : std::nullopt;
  if (session_) session_->setStore(nullptr);
  setSession(nullptr);
  publishOpenBucket_(std::nullopt);
  startNewBucket();
  if (!leftovers.isEmpty() && config && makeUploader_) session(*config, makeUploader_)->enqueue(leftovers);
}

void BucketStore::discardSession() {
  if (session_) {
    session_->cancelAll();
    session_->setStore(nullptr);
  }
  setSession(nullptr);
  publishOpenBucket_(std::nullopt);
}

std::shared_ptr<Bucket> BucketStore::startNewBucket() {
  auto bucket = makeBucket(clock_);
  buckets_.append(bucket);
  Q_EMIT bucketsChanged();
  Q_EMIT currentChanged();
  return bucket;
}

}  // namespace pm
