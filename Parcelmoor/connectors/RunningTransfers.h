#pragma once

#include <QHash>
#include <QObject>
#include <QUuid>

#include <QCoroTask>

#include <memory>

namespace pm {

// The units whose bytes are moving right now, so that withdrawing a unit can wait until its transfer has
// stopped: deleting first would let an aborted transfer's last bytes land after the deletion, and a
// transfer that already handed over every byte must first learn what the service made of them. Main
// thread. A handle may outlive the uploader that owns this (a transfer winds down on its own).
class RunningTransfers {
 public:
  class Transfer;

  RunningTransfers();

  // Marks `unitID` as moving until the returned handle is destroyed.
  [[nodiscard]] std::shared_ptr<Transfer> begin(const QUuid& unitID);
  bool isRunning(const QUuid& unitID) const { return running_->contains(unitID); }
  // Resumes once no transfer of `unitID` runs; at once when none does.
  QCoro::Task<> waitUntilStopped(QUuid unitID);

 private:
  class End;
  using Ends = QHash<QUuid, std::shared_ptr<End>>;
  std::shared_ptr<Ends> running_;
};

class RunningTransfers::Transfer {
 public:
  Transfer(std::weak_ptr<Ends> owner, QUuid unitID, std::shared_ptr<End> end);
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

 private:
  std::weak_ptr<Ends> owner_;
  QUuid unitID_;
  std::shared_ptr<End> end_;
};

}  // namespace pm
