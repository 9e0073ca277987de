#include "JsonNumbers.h"

#include <QVariant>

#include <cmath>

namespace pm {

std::optional<qint64> exactInteger(const QJsonValue& value) {
  if (!value.isDouble()) return std::nullopt;
  // Qt keeps a number written without fraction or exponent that fits 64 bits as an exact integer.
  const QVariant exact = value.toVariant();
  if (exact.typeId() == QMetaType::LongLong) return exact.toLongLong();
  const double number = value.toDouble();
  // [-2^63, 2^63) is exactly the range a double converts to qint64 without undefined behaviour.
  constexpr double kTwoToThe63 = 9'223'372'036'854'775'808.0;
  if (!std::isfinite(number) || std::trunc(number) != number || number < -kTwoToThe63 || number >= kTwoToThe63)
    return std::nullopt;
  return qint64(number);
}

}  // namespace pm
