#include "SyncRoutes.h"

#include "DevStore.h"

namespace pm::dev {

namespace {

Reply replyOf(const SyncRecords::Answer& answer) {
  return Reply::json(answer.status, answer.body);
}

}  // namespace

SyncRoutes::SyncRoutes(DevStore& store) : store_(store) {}

void SyncRoutes::install(Router& router) {
  using Access = Router::Access;
  SyncRecords& sync = store_.sync;
  router.route("GET", QStringLiteral("/api/sync/uploaders"), Access::signedIn,
               [&sync](const Request& r) { return replyOf(sync.getCopy(*r.email)); });
  router.route("PUT", QStringLiteral("/api/sync/uploaders"), Access::signedIn,
               [&sync](const Request& r) { return replyOf(sync.putCopy(*r.email, r.json())); });
  router.route("POST", QStringLiteral("/api/sync/pairings"), Access::signedIn,
               [&sync](const Request& r) { return replyOf(sync.openPairing(*r.email, r.json())); });
  router.route("GET", QStringLiteral("/api/sync/pairings"), Access::signedIn,
               [&sync](const Request& r) { return replyOf(sync.getPairing(*r.email)); });
  router.route("PUT", QStringLiteral("/api/sync/pairings"), Access::signedIn,
               [&sync](const Request& r) { return replyOf(sync.putPairing(*r.email, r.json())); });
  router.route("DELETE", QStringLiteral("/api/sync/pairings"), Access::signedIn,
               [&sync](const Request& r) { return replyOf(sync.closePairing(*r.email)); });
  router.route("POST", QStringLiteral("/api/sync/pairings/claim"), Access::signedIn,
               [&sync](const Request& r) { return replyOf(sync.claim(*r.email)); });
}

}  // namespace pm::dev
