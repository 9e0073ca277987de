#pragma once

#include "Router.h"

namespace pm::dev {

class DevStore;

// The sync routes under "/api/": the account's sealed copy of the synced settings ("sync/uploaders") and
// its pairing ("sync/pairings", "sync/pairings/claim"), all behind a session. Two agents signed in to one
// account on one machine pair through them.
class SyncRoutes {
 public:
  explicit SyncRoutes(DevStore& store);
  void install(Router& router);

 private:
  DevStore& store_;
};

}  // namespace pm::dev
