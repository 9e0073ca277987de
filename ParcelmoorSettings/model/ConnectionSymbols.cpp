#include "ConnectionSymbols.h"

#include <array>

namespace pm::settings {

namespace {

// Indexed by the kind's declaration order.
constexpr std::array<const char*, UploaderConfig::allKinds.size()> kDefaultSymbols{
    "shippingbox", "internaldrive",   "cloud.bolt", "server.rack", "icloud", "triangle.righthalf.filled",
    "cloud.fill",  "shippingbox.fill"};

}  // namespace

QString defaultSymbol(UploaderConfig::Kind kind) {
  return QString::fromLatin1(kDefaultSymbols[std::size_t(kind)]);
}

QString displaySymbol(const UploaderConfig& config) {
  return config.symbol.isEmpty() ? defaultSymbol(config.kind) : config.symbol;
}

}  // namespace pm::settings
