#pragma once

#include <QDateTime>
#include <QTimeZone>

#include <cmath>

namespace pm {

// "Now" for everything that stamps or ages data, so tests can move time instead of waiting for it.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
 public:
  QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

// Seconds since 2001-01-01T00:00:00Z, the reference date of the stored and wire formats.
inline constexpr qint64 kReferenceDateUnixSeconds = 978'307'200;

inline double secondsSinceReferenceDate(const QDateTime& time) {
  return double(time.toMSecsSinceEpoch()) / 1000.0 - double(kReferenceDateUnixSeconds);
}

// An invalid QDateTime for a number that is no date: not finite, or too far out for milliseconds since
// 1970 to fit in 64 bits (stored data may hold anything).
inline QDateTime dateFromReferenceSeconds(double seconds) {
  constexpr double kLimit = 9.0e15;
  if (!std::isfinite(seconds) || std::abs(seconds) > kLimit) return {};
  const double milliseconds = (seconds + double(kReferenceDateUnixSeconds)) * 1000.0;
  return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(milliseconds)), QTimeZone::utc());
}

}  // namespace pm
