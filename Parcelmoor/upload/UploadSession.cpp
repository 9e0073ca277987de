#include "UploadSession.h"

#include <QSet>
#include <QThread>

#include <algorithm>
#include <cmath>

#include "platform/Log.h"
#include "upload/BucketStore.h"
#include "upload/UploadUnits.h"

namespace pm {

std::shared_ptr<UploadSession> UploadSession::create(std::shared_ptr<Bucket> bucket, UploaderConfig config,
                                                     std::unique_ptr<BucketUploader> uploader) {
  // The last owner may be a task that ends inside a reply's signal; deleting later keeps that safe.
  return std::shared_ptr<UploadSession>(
      new UploadSession(std::move(bucket), std::move(config), std::move(uploader)),
      [](UploadSession* session) { session->deleteLater(); });
}

UploadSession::UploadSession(std::shared_ptr<Bucket> bucket, UploaderConfig config,
                             std::unique_ptr<BucketUploader> uploader)
    : bucket_(std::move(bucket)), config_(std::move(config)), uploader_(std::move(uploader)) {}

UploadSession::~UploadSession() = default;

void UploadSession::setStore(BucketStore* store) {
  if (store_ == store) return;
  store_ = store;
  Q_EMIT storeChanged();
}

void UploadSession::setPhase(Phase phase) {
  if (phase_ == phase) return;
  phase_ = std::move(phase);
  Q_EMIT phaseChanged();
}

void UploadSession::recordError(const QUuid& itemID, const QString& path, const UploadError& error) {
  bucket_->recordError(itemID, path, error);
}

// ---- adding -------------------------------------------------------------------------------------------

void UploadSession::enqueue(const QStringList& urls) {
  if (cancelled_ || urls.isEmpty()) return;
  if (phase_.kind() == Phase::Case::finalizing) {
    for (const QString& url : urls) {
      if (!deferred_.contains(url)) deferred_.append(url);
    }
    Q_EMIT workChanged();
    return;
  }
  // Files given while a batch still enters follow it, so the bucket keeps the order they came in.
  const bool entering = !arriving_.isEmpty();
  arriving_.append(urls);
  if (entering) return;
  // The first slice enters at once, so the bar answers the drop without waiting for a worker.
  const QStringList first = arriving_.take(kItemsAddedPerTurn);
  addSlice(first, whichAreFolders(first));
  if (arrivalRunning_ || (toIngest_.isEmpty() && arriving_.isEmpty())) return;
  arrivalRunning_ = true;
  detachTask(takeArriving(), lcUpload, "Adding files");
}

void UploadSession::addSlice(const QStringList& urls, const QList<bool>& folders) {
  QList<Bucket::ItemPointer> kept;
  for (const Bucket::ItemPointer& item : bucket_->add(urls, folders)) {
    if (!item->isSensitive() || item->consented()) kept.append(item);
  }
  if (!kept.isEmpty()) toIngest_.append(std::move(kept));
}

QCoro::Task<> UploadSession::takeArriving() {
  const auto self = shared_from_this();
  // One slice a turn, each planned after the one before, so the uploads keep the order of the bucket.
  while (!cancelled_) {
    if (!toIngest_.isEmpty()) {
      try {
        co_await ingest(toIngest_.takeFirst());
      } catch (const std::exception& error) {
        // What follows must still enter: one slice that could not be planned stops nothing else.
        qCWarning(lcUpload) << "Adding files failed:" << error.what();
      }
      continue;
    }
    if (arriving_.isEmpty()) break;
    // Which files are folders is read on a worker, so a slow disk never holds the bar still. The slice
    // stays in `arriving_` meanwhile: the bucket cannot be finished under it, and files given now follow it.
    const QStringList slice = arriving_.front(kItemsAddedPerTurn);
    auto reading = [slice] { return whichAreFolders(slice); };
    const QList<bool> folders = co_await runOnWorker(std::move(reading));
    if (cancelled_) break;
    addSlice(arriving_.take(slice.size()), folders);
  }
  arrivalRunning_ = false;
}

void UploadSession::approve(const QUuid& itemID) {
  if (cancelled_) return;
  const Bucket::ItemPointer item = bucket_->item(itemID);
  if (!item || !item->isSensitive() || item->consented()) return;
  item->setConsented(true);
  detachTask(ingest({item}), lcUpload, "Adding an approved file");
}

QCoro::Task<> UploadSession::ingest(QList<Bucket::ItemPointer> items) {
  const auto self = shared_from_this();
  const UnitExpansion expansion = co_await makeUploadUnits(items);
  if (cancelled_) co_return;

  for (auto it = expansion.errors.begin(); it != expansion.errors.end(); ++it) {
    if (const Bucket::ItemPointer item = bucket_->item(it.key())) {
      recordError(item->id(), item->name(), it.value());
      bucket_->setState(item->id(), BucketItem::State::failed());
    }
  }
  QList<UploadUnit> kept;
  for (const UploadUnit& unit : expansion.units) {
    if (holdsItem(unit.itemID)) kept.append(unit);
  }
  if (kept.isEmpty()) co_return;
  // An item's units come one after the other; each list is sized once for all of them, since a list
  // grown one unit at a time keeps room for more that never come.
  for (qsizetype first = 0, end = 0; first < kept.size(); first = end) {
    while (end < kept.size() && kept.at(end).itemID == kept.at(first).itemID) ++end;
    PlannedItem& planned = planned_[kept.at(first).itemID];
    planned.units.reserve(planned.units.size() + end - first);
    for (qsizetype i = first; i < end; ++i) {
      planned.units.append(kept.at(i));
      planned.total += kept.at(i).size;
    }
  }
  pending_.append(kept);
  Q_EMIT workChanged();
  startRegisterPump();
}

// ---- registering --------------------------------------------------------------------------------------

void UploadSession::startRegisterPump() {
  if (cancelled_ || pumpRunning_ || pending_.isEmpty()) return;
  pumpRunning_ = true;
  Q_EMIT workChanged();
  detachTask(registerPending(), lcUpload, "Registering files");
}

QCoro::Task<> UploadSession::registerPending() {
  const auto self = shared_from_this();
  while (!pending_.isEmpty() && !cancelled_) {
    QList<UploadUnit> batch = std::exchange(pending_, {});
    Q_EMIT workChanged();
    co_await registerBatch(std::move(batch));
  }
  if (pumpRunning_) {
    pumpRunning_ = false;
    Q_EMIT workChanged();
  }
}

QCoro::Task<> UploadSession::registerBatch(QList<UploadUnit> batch) {
  QList<QUuid> itemIDs;  // in batch order, each once
  QSet<QUuid> seen;
  for (const UploadUnit& unit : batch) {
    if (!seen.contains(unit.itemID)) itemIDs.append(unit.itemID);
    seen.insert(unit.itemID);
  }

  std::optional<Registration> registration;
  std::optional<UploadError> failure;
  try {
    registration = co_await uploader_->registerUnits(batch);
  } catch (...) {
    failure = UploadError::from(std::current_exception());
  }
  if (cancelled_) co_return;

  if (failure) {
    for (const UploadUnit& unit : batch) recordError(unit.itemID, unit.relativePath, *failure);
    for (const QUuid& itemID : itemIDs) settle(itemID);
    co_return;
  }

  QHash<QUuid, UploadDestination> destinations;
  for (const UploadDestination& destination : registration->destinations) {
    // A second destination for one unit breaks the uploader's contract; the first one is kept.
    if (!destinations.contains(destination.unitID)) destinations.insert(destination.unitID, destination);
  }
  QSet<QUuid> refused;
  for (auto it = registration->refused.begin(); it != registration->refused.end(); ++it) {
    for (const UploadUnit& unit : batch) {
      if (unit.id == it.key()) {
        recordError(unit.itemID, unit.relativePath, it.value());
        refused.insert(unit.id);
        break;
      }
    }
  }
  for (const UploadUnit& unit : batch) {
    if (!destinations.contains(unit.id) && !refused.contains(unit.id)) {
      recordError(unit.itemID, unit.relativePath, UploadError::notRegistered());
    }
  }

  bool queuedAny = false;
  for (const QUuid& itemID : itemIDs) {
    if (itemTasks_.contains(itemID) || queuedIDs_.contains(itemID)) continue;
    PlannedItem* const planned = planned_.find(itemID);
    QList<WaitingDestination> placed;
    if (planned) {
      placed.reserve(planned->units.size());
      for (const UploadUnit& unit : std::as_const(planned->units)) {
        const auto destination = destinations.constFind(unit.id);
        if (destination != destinations.constEnd()) placed.append(WaitingDestination(*destination));
      }
    }
    if (placed.isEmpty()) {
      settle(itemID);
    } else {
      planned->destinations = std::move(placed);
      queued_.append(itemID);
      queuedIDs_.insert(itemID);
      queuedAny = true;
    }
  }
  if (queuedAny) Q_EMIT workChanged();
  startQueued();
}

// ---- uploading ----------------------------------------------------------------------------------------

void UploadSession::startQueued() {
  if (cancelled_) return;
  bool changed = false;
  while (itemTasks_.size() < kMaxItemTasks && !queued_.isEmpty()) {
    const QUuid itemID = queued_.takeFirst();
    queuedIDs_.remove(itemID);
    changed = true;
    if (!holdsItem(itemID)) continue;
    const CancelTokenPtr cancel = makeCancelToken();
    itemTasks_.insert(itemID, cancel);
    detachTask(uploadItem(itemID, cancel), lcUpload, "Uploading an item");
  }
  // Neither container gives back its room as it empties; once a large batch has gone through, that room
  // would stay for nothing.
  if (queued_.isEmpty() && queued_.capacity() > 0) {
    queued_ = QList<QUuid>();
    queuedIDs_.clear();
  }
  if (changed) Q_EMIT workChanged();
}

QCoro::Task<> UploadSession::uploadItem(QUuid itemID, CancelTokenPtr cancel) {
  const auto self = shared_from_this();
  qsizetype unitIndex = 0;
  for (qsizetype step = 0;; ++step) {
    if (cancel->isCancelled() || !holdsItem(itemID)) break;
    // Looked up again at every step: the entry may have gone (or moved) while the step before ran.
    const PlannedItem* const planned = std::as_const(planned_).find(itemID);
    if (!planned || step >= planned->destinations.size()) break;
    const UploadDestination destination = planned->destinations.at(step).destination();
    // The destinations follow the order of the units, so the search goes on from the unit before.
    while (unitIndex < planned->units.size() && planned->units.at(unitIndex).id != destination.unitID) ++unitIndex;
    if (unitIndex == planned->units.size()) break;
    const UploadUnit unit = planned->units.at(unitIndex);
    std::optional<UploadError> failure;
    // Progress may come from any thread; it holds the session weakly and only posts to the main thread.
    QPointer<UploadSession> weak(this);
    const ProgressCallback progress = [weak, unit](double fraction) {
      if (weak) weak->relayProgress(unit, fraction);
    };
    try {
      co_await uploader_->upload(unit, destination, progress, cancel);
    } catch (...) {
      failure = UploadError::from(std::current_exception());
    }
    // Only our own token says "cancelled": an uploader or a reply may report cancellation that the
    // session never asked for, and that must count as a failure, not as a silent stop.
    if (cancel->isCancelled()) break;
    if (PlannedItem* const sent = planned_.find(itemID)) sent->sent += unit.size;
    Q_EMIT workChanged();
    if (failure) {
      recordError(itemID, unit.relativePath, *failure);
    } else {
      updateProgress(unit, 0.0);
    }
  }
  // The destinations were needed for this upload only; a unit is never sent twice.
  if (PlannedItem* const planned = planned_.find(itemID)) planned->destinations = {};
  itemFinished(itemID, cancel);
}

void UploadSession::itemFinished(const QUuid& itemID, const CancelTokenPtr& cancel) {
  const auto running = itemTasks_.constFind(itemID);
  if (running != itemTasks_.constEnd() && running.value() == cancel) {
    itemTasks_.erase(running);
    Q_EMIT workChanged();
  }
  settle(itemID);
  startQueued();
}

void UploadSession::settle(const QUuid& itemID) {
  if (itemTasks_.contains(itemID) || !holdsItem(itemID)) return;
  if (std::any_of(pending_.begin(), pending_.end(), [&](const UploadUnit& u) { return u.itemID == itemID; })) return;
  if (queuedIDs_.contains(itemID)) return;

  const PlannedItem* const planned = std::as_const(planned_).find(itemID);
  const qsizetype unitCount = planned ? planned->units.size() : 0;
  qsizetype errorCount = 0;
  const BucketItem::Errors& errors = bucket_->item(itemID)->errors();
  for (auto it = errors.begin(); it != errors.end(); ++it) errorCount += it.value().size();

  const bool failed = unitCount <= 1 ? errorCount > 0 : errorCount >= unitCount;
  bucket_->setState(itemID, failed ? BucketItem::State::failed() : BucketItem::State::uploaded());
}

void UploadSession::relayProgress(const UploadUnit& unit, double fraction) {
  // A report made on the main thread is applied at once: an uploader reports 1.0 just before its upload
  // returns, and the item task then counts the unit as ended, so a deferred report would count it twice.
  if (QThread::currentThread() == thread()) {
    updateProgress(unit, fraction);
    return;
  }
  // From any other thread each report is its own step on the main thread; a report for a session that is
  // gone by then is dropped with it.
  QMetaObject::invokeMethod(
      this, [this, unit, fraction] { updateProgress(unit, fraction); }, Qt::QueuedConnection);
}

void UploadSession::updateProgress(const UploadUnit& unit, double fraction) {
  const Bucket::ItemPointer item = bucket_->item(unit.itemID);
  if (!item) return;
  const auto state = item->state().kind();
  if (state == BucketItem::State::Case::uploaded || state == BucketItem::State::Case::failed) return;
  if (!std::isfinite(fraction)) return;
  fraction = std::clamp(fraction, 0.0, 1.0);

  const PlannedItem* const planned = std::as_const(planned_).find(unit.itemID);
  const qint64 total = planned ? std::max<qint64>(planned->total, 1) : 1;
  const qint64 sent = planned ? planned->sent : 0;
  const double value = double(qint64(double(unit.size) * fraction) + sent) / double(total);
  bucket_->setState(unit.itemID, BucketItem::State::uploading(std::min(value, 1.0)));
}

// ---- removing -----------------------------------------------------------------------------------------

void UploadSession::remove(const QUuid& itemID) {
  if (!uploader_->allowsRemoval()) return;
  // The uploader is already listing the items in the finished share.
  if (phase_.kind() == Phase::Case::finalizing) return;

  if (const auto running = itemTasks_.constFind(itemID); running != itemTasks_.constEnd()) {
    running.value()->cancel();
    itemTasks_.erase(running);
  }
  pending_.removeIf([&](const UploadUnit& u) { return u.itemID == itemID; });
  if (queuedIDs_.remove(itemID)) queued_.removeOne(itemID);
  const QList<UploadUnit> removedUnits = planned_.take(itemID).units;
  Q_EMIT workChanged();

  bucket_->removeItem(itemID);
  if (!removedUnits.isEmpty()) withdrawInBackground(removedUnits);
  if (bucket_->items().isEmpty() && store_) store_->discardSession();
}

void UploadSession::withdrawInBackground(QList<UploadUnit> units) {
  detachTask(
      [](std::shared_ptr<UploadSession> self, QList<UploadUnit> removed) -> QCoro::Task<> {
        try {
          co_await self->uploader_->withdraw(std::move(removed));
        } catch (...) {
          // Withdrawing is a courtesy to the connection; the item is gone for the user either way.
        }
      }(shared_from_this(), std::move(units)),
      lcUpload, "Withdrawing removed files");
}

// ---- finishing ----------------------------------------------------------------------------------------

bool UploadSession::canFinish() const {
  if (phase_.kind() != Phase::Case::collecting && phase_.kind() != Phase::Case::failed) return false;
  if (!pending_.isEmpty() || !itemTasks_.isEmpty() || !arriving_.isEmpty()) return false;
  const QList<Bucket::ItemPointer>& items = bucket_->items();
  if (items.isEmpty()) return false;
  bool anyUploaded = false;
  for (const Bucket::ItemPointer& item : items) {
    const auto state = item->state().kind();
    if (state != BucketItem::State::Case::uploaded && state != BucketItem::State::Case::failed) return false;
    anyUploaded = anyUploaded || state == BucketItem::State::Case::uploaded;
  }
  return anyUploaded;
}

QCoro::Task<std::optional<ResponseItem>> UploadSession::finish() {
  if (!canFinish()) co_return std::nullopt;
  const auto self = shared_from_this();
  setPhase(Phase::finalizing());

  std::optional<ResponseItem> result;
  std::optional<UploadError> failure;
  try {
    result = co_await uploader_->finalize();
  } catch (...) {
    failure = UploadError::from(std::current_exception());
  }
  const QStringList leftovers = std::exchange(deferred_, {});

  if (failure) {
    setPhase(Phase::failed(*failure));
    // The bucket stays open, so what arrived meanwhile joins it now.
    enqueue(leftovers);
    co_return std::nullopt;
  }
  result->missingFiles = failedFiles();
  const std::optional<QUrl> share =
      result->type == ResponseItem::Kind::done ? std::nullopt : std::optional<QUrl>(result->url);
  setPhase(Phase::done(share));
  if (store_) {
    store_->complete(share, leftovers);
  } else if (!leftovers.isEmpty()) {
    qCWarning(lcUpload) << leftovers.size() << "files arrived while a bucket was finishing and had no bucket to join";
  }
  co_return result;
}

QStringList UploadSession::failedFiles() const {
  QStringList failed;
  for (const Bucket::ItemPointer& item : bucket_->items()) {
    const BucketItem::Errors& errors = item->errors();
    for (auto path = errors.cbegin(); path != errors.cend(); ++path) {
      // An empty folder has no file the share could lack.
      const bool emptyFolder = std::all_of(path->cbegin(), path->cend(), [](const UploadError& error) {
        return error.kind() == UploadError::Kind::emptyFolder;
      });
      if (!emptyFolder) failed.append(path.key());
    }
  }
  return failed;
}

void UploadSession::cancelAll() {
  cancelled_ = true;
  pumpRunning_ = false;
  for (const CancelTokenPtr& cancel : std::as_const(itemTasks_)) cancel->cancel();
  itemTasks_.clear();
  arriving_.clear();
  toIngest_.clear();
  pending_.clear();
  queued_.clear();
  queuedIDs_.clear();
  planned_.clear();
  Q_EMIT workChanged();
}

}  // namespace pm
