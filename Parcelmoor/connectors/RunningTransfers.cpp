#include "RunningTransfers.h"

#include <QCoroSignal>

namespace pm {

class RunningTransfers::End final : public QObject {
  Q_OBJECT
 Q_SIGNALS:
  void ended();
};

std::shared_ptr<RunningTransfers::Transfer> RunningTransfers::begin(const QUuid& unitID) {
  auto end = std::make_shared<End>();
  running_.insert(unitID, end);
  return std::make_shared<Transfer>(*this, unitID, std::move(end));
}

QCoro::Task<> RunningTransfers::waitUntilStopped(QUuid unitID) {
  // A unit is uploaded by one item task at a time, but the session may start it again after a failure:
  // wait for whichever transfer holds it now, until none does.
  while (const std::shared_ptr<End> end = running_.value(unitID)) co_await qCoro(end.get(), &End::ended);
}

RunningTransfers::Transfer::Transfer(RunningTransfers& owner, QUuid unitID, std::shared_ptr<End> end)
    : owner_(owner), unitID_(std::move(unitID)), end_(std::move(end)) {}

RunningTransfers::Transfer::~Transfer() {
  if (owner_.running_.value(unitID_) == end_) owner_.running_.remove(unitID_);
  // Delivered from the event loop, not from inside this destructor (which may run while an exception
  // unwinds the transfer's coroutine), so a waiting withdrawal never resumes in the middle of that.
  QMetaObject::invokeMethod(
      end_.get(), [end = end_] { Q_EMIT end->ended(); }, Qt::QueuedConnection);
}

}  // namespace pm

#include "RunningTransfers.moc"
