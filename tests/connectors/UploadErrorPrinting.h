#pragma once

#include <ostream>

#include "core/UploadError.h"

namespace pm {

// Readable failures: "rejected: Missing credentials." instead of the object's bytes.
inline void PrintTo(const UploadError& error, std::ostream* out) {
  *out << int(error.kind()) << ": " << error.message().toStdString();
}

}  // namespace pm
