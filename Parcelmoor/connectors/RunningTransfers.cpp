#include "RunningTransfers.h"

#include <QCoroSignal>

namespace pm {

class RunningTransfers::End final : public QObject {
  Q_OBJECT
 Q_SIGNALS:
  void ended();
};

RunningTransfers::RunningTransfers() : running_(std::make_shared<Ends>()) {}

std::shared_ptr<RunningTransfers::Transfer> RunningTransfers::begin(const QUuid& unitID) {
  auto end = std::make_shared<End>();
  running_->insert(unitID, end);
  return std::make_shared<Transfer>(running_, unitID, std::move(end));
}

QCoro::Task<> RunningTransfers::waitUntilStopped(QUuid unitID) {
  // Held here: the waiting may outlast the owner.
  const std::shared_ptr<Ends> running = running_;
  // A unit is uploaded by one item task at a time, but the session may start it again after a failure:
  // wait for whichever transfer holds it now, until none does.
  while (const std::shared_ptr<End> end = running->value(unitID)) co_await qCoro(end.get(), &End::ended);
}

RunningTransfers::Transfer::Transfer(std::weak_ptr<Ends> owner, QUuid unitID, std::shared_ptr<End> end)
    : owner_(std::move(owner)), unitID_(std::move(unitID)), end_(std::move(end)) {}

RunningTransfers::Transfer::~Transfer() {
  if (const std::shared_ptr<Ends> running = owner_.lock(); running && running->value(unitID_) == end_)
    running->remove(unitID_);
  // Delivered from the event loop, not from inside this destructor (which may run while an exception
  // unwinds the transfer's coroutine), so a waiting withdrawal never resumes in the middle of that.
  QMetaObject::invokeMethod(
      end_.get(), [end = end_] { Q_EMIT end->ended(); }, Qt::QueuedConnection);
}

}  // namespace pm

#include "RunningTransfers.moc"
