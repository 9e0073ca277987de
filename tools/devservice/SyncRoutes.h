#pragma once

#include <functional>

#include "Router.h"
#include "SyncRecords.h"

namespace pm::dev {

class DevStore;

// The sync routes under "/api/": the account's sealed copy of the synced settings ("sync/uploaders") and
// its pairing ("sync/pairings", "sync/pairings/claim"), all behind a session. Two agents signed in to one
// account on one machine pair through them. Each request applies the sync rules to the account's records
// read from the store, and writes them back in the same transaction.
class SyncRoutes {
 public:
  explicit SyncRoutes(DevStore& store);
  void install(Router& router);

 private:
  using Operation = std::function<SyncRecords::Answer(SyncRecords& records, const QString& account,
                                                      const QJsonObject& body)>;

  SyncRecords::Answer apply(const QString& account, const QJsonObject& body, const Operation& operation);

  DevStore& store_;
};

}  // namespace pm::dev
