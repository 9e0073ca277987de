#include "SyncRoutes.h"

#include "DevStore.h"

namespace pm::dev {

SyncRoutes::SyncRoutes(DevStore& store) : store_(store) {}

void SyncRoutes::install(Router& router) {
  const auto add = [&](const QByteArray& method, const QString& path, Operation operation) {
    router.route(method, path, Router::Access::signedIn, [this, operation](const Request& r) {
      const SyncRecords::Answer answer = apply(*r.email, r.json(), operation);
      return Reply::json(answer.status, answer.body);
    });
  };
  using Body = const QJsonObject&;
  const QString copies = QStringLiteral("/api/sync/uploaders");
  const QString pairings = QStringLiteral("/api/sync/pairings");
  add("GET", copies, [](SyncRecords& s, const QString& a, Body) { return s.getCopy(a); });
  add("PUT", copies, [](SyncRecords& s, const QString& a, Body b) { return s.putCopy(a, b); });
  add("POST", pairings, [](SyncRecords& s, const QString& a, Body b) { return s.openPairing(a, b); });
  add("GET", pairings, [](SyncRecords& s, const QString& a, Body) { return s.getPairing(a); });
  add("PUT", pairings, [](SyncRecords& s, const QString& a, Body b) { return s.putPairing(a, b); });
  add("DELETE", pairings, [](SyncRecords& s, const QString& a, Body) { return s.closePairing(a); });
  add("POST", QStringLiteral("/api/sync/pairings/claim"),
      [](SyncRecords& s, const QString& a, Body) { return s.claim(a); });
}

SyncRecords::Answer SyncRoutes::apply(const QString& account, const QJsonObject& body,
                                      const Operation& operation) {
  return store_.write([&](StoreTransaction& transaction) {
    SyncRecords records;
    if (const auto copy = transaction.syncCopy(account)) records.copies.insert(account, *copy);
    if (const auto pairing = transaction.pairing(account)) records.pairings.insert(account, *pairing);
    const SyncRecords::Answer answer = operation(records, account, body);
    // A refused request leaves the account's records as they were.
    if (answer.status >= 400) return answer;
    if (const auto copy = records.copies.constFind(account); copy != records.copies.cend())
      transaction.putSyncCopy(account, *copy);
    if (const auto pairing = records.pairings.constFind(account); pairing != records.pairings.cend())
      transaction.putPairing(account, *pairing);
    else
      transaction.removePairing(account);
    return answer;
  });
}

}  // namespace pm::dev
