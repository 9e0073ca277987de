#pragma once

#include <QJsonDocument>

#include <ostream>

#include "core/UploaderConfig.h"

namespace pm {

// Shows a connection as its stored JSON in test failures.
inline void PrintTo(const UploaderConfig& config, std::ostream* out) {
  const auto json = config.toJson();
  *out << (json ? QJsonDocument(*json).toJson(QJsonDocument::Compact).toStdString()
                : std::string("<unencodable>"));
}

}  // namespace pm
