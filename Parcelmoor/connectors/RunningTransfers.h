#pragma once

#include <QHash>
#include <QObject>
#include <QUuid>

#include <QCoroTask>

#include <memory>

namespace pm {

// The units whose bytes are moving right now, so that withdrawing a unit can wait until its transfer has
// stopped: deleting first would let an aborted transfer's last bytes land after the deletion. Main thread.
class RunningTransfers {
 public:
  class Transfer;

  // Marks `unitID` as moving until the returned handle is destroyed.
  [[nodiscard]] std::shared_ptr<Transfer> begin(const QUuid& unitID);
  bool isRunning(const QUuid& unitID) const { return running_.contains(unitID); }
  // Resumes once no transfer of `unitID` runs; at once when none does.
  QCoro::Task<> waitUntilStopped(QUuid unitID);

 private:
  class End;
  QHash<QUuid, std::shared_ptr<End>> running_;
};

class RunningTransfers::Transfer {
 public:
  Transfer(RunningTransfers& owner, QUuid unitID, std::shared_ptr<End> end);
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

 private:
  RunningTransfers& owner_;
  QUuid unitID_;
  std::shared_ptr<End> end_;
};

}  // namespace pm
