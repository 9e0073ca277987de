#include "FakeServiceSync.h"

namespace pm::test {

namespace {

FakeService::Reply replyOf(const dev::SyncRecords::Answer& answer) {
  return FakeService::Reply::json(answer.status, answer.body);
}

}  // namespace

FakeServiceSync::FakeServiceSync(FakeService& service)
    : service_(service), records_(std::make_shared<dev::SyncRecords>()) {
  using Access = FakeService::Access;
  using Request = FakeService::Request;
  const std::shared_ptr<dev::SyncRecords> records = records_;
  const QString copies = QStringLiteral("sync/uploaders");
  const QString pairings = QStringLiteral("sync/pairings");
  service.route("GET", copies, Access::signedIn,
                [records](const Request& r) { return replyOf(records->getCopy(*r.email)); });
  service.route("PUT", copies, Access::signedIn,
                [records](const Request& r) { return replyOf(records->putCopy(*r.email, r.json())); });
  service.route("POST", pairings, Access::signedIn,
                [records](const Request& r) { return replyOf(records->openPairing(*r.email, r.json())); });
  service.route("GET", pairings, Access::signedIn,
                [records](const Request& r) { return replyOf(records->getPairing(*r.email)); });
  service.route("PUT", pairings, Access::signedIn,
                [records](const Request& r) { return replyOf(records->putPairing(*r.email, r.json())); });
  service.route("DELETE", pairings, Access::signedIn,
                [records](const Request& r) { return replyOf(records->closePairing(*r.email)); });
  service.route("POST", QStringLiteral("sync/pairings/claim"), Access::signedIn,
                [records](const Request& r) { return replyOf(records->claim(*r.email)); });
}

std::optional<dev::SyncRecords::Copy> FakeServiceSync::copy(const QString& account) const {
  const auto guard = service_.lock();
  const auto found = records_->copies.constFind(account);
  if (found == records_->copies.cend()) return std::nullopt;
  return *found;
}

void FakeServiceSync::setCopy(const QString& account, const QString& blob, qint64 version) {
  const auto guard = service_.lock();
  records_->copies.insert(account, dev::SyncRecords::Copy{blob, version});
}

std::optional<dev::SyncRecords::Pairing> FakeServiceSync::pairing(const QString& account) const {
  const auto guard = service_.lock();
  const auto found = records_->pairings.constFind(account);
  if (found == records_->pairings.cend()) return std::nullopt;
  return *found;
}

}  // namespace pm::test
