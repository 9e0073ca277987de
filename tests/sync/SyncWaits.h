#pragma once

#include <QCoroTask>

#include <chrono>
#include <functional>

#include "support/TestSupport.h"

namespace pm::test {

// The sync tests wait for the condition they mean; the bound only ends a hang, generous enough for a
// loaded two-core machine deriving keys for several computers at once.
inline constexpr std::chrono::seconds kSyncWaitBound{30};

inline bool eventually(const std::function<bool()>& done) {
  return runUntil(done, kSyncWaitBound);
}

template <typename T>
T finish(QCoro::Task<T> task) {
  return wait(std::move(task), kSyncWaitBound);
}

}  // namespace pm::test
