#pragma once

#include <QString>

#include <memory>
#include <optional>

#include "SyncRecords.h"
#include "support/FakeService.h"

namespace pm::test {

// The sync side of the fake service, with the development service's rules (SyncRecords): per account,
// "sync/uploaders" keeps one sealed copy whose version every PUT must name (a stale one gets 409 with a
// message), and "sync/pairings" (+ "/claim") runs the pairing record. All routes need a session. Declare
// it after the service it extends.
class FakeServiceSync {
 public:
  explicit FakeServiceSync(FakeService& service);

  // The account's stored copy; nothing before the first PUT.
  std::optional<dev::SyncRecords::Copy> copy(const QString& account) const;
  void setCopy(const QString& account, const QString& blob, qint64 version);
  // The account's open pairing.
  std::optional<dev::SyncRecords::Pairing> pairing(const QString& account) const;

 private:
  FakeService& service_;
  std::shared_ptr<dev::SyncRecords> records_;
};

}  // namespace pm::test
