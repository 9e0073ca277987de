#pragma once

#include <ostream>

#include "sync/SyncPayload.h"

namespace pm {

// Shows a payload as its JSON in test failures. Every test file that compares payloads includes this, so
// no file instantiates gtest's byte-dump printer for the type.
inline void PrintTo(const SyncPayload& payload, std::ostream* out) {
  *out << payload.toJson().toStdString();
}

}  // namespace pm
