#pragma once

#include <QString>

#include "core/UploaderConfig.h"

namespace pm::settings {

// The symbol a kind shows when its connection names none: "shippingbox", "internaldrive", "cloud.bolt",
// "server.rack", "icloud", "triangle.righthalf.filled", "cloud.fill", "shippingbox.fill".
QString defaultSymbol(UploaderConfig::Kind kind);
// The connection's own `symbol` when it has any character, else its kind's default symbol.
QString displaySymbol(const UploaderConfig& config);

}  // namespace pm::settings
