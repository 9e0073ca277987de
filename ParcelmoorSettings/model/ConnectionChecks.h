#pragma once

#include <QCoroTask>

#include <QString>

#include <optional>

#include "core/UploaderConfig.h"

namespace pm::settings {

// The connection test of every kind behind one call, so the Apps page and the editor run whichever test
// a connection needs without knowing what each one takes. Nothing means success, else the text to show.
// The own-service probe and the iCloud Drive check look at no connection. Never throws.
class ConnectionChecks {
 public:
  virtual ~ConnectionChecks() = default;
  virtual QCoro::Task<std::optional<QString>> test(UploaderConfig config) = 0;
};

}  // namespace pm::settings
