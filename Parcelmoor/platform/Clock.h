#pragma once

#include <QDateTime>
#include <QTimeZone>

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

inline QDateTime dateFromReferenceSeconds(double seconds) {
  return QDateTime::fromMSecsSinceEpoch(qint64((seconds + double(kReferenceDateUnixSeconds)) * 1000.0 +
                                               (seconds >= -double(kReferenceDateUnixSeconds) ? 0.5 : -0.5)),
                                        QTimeZone::utc());
}

}  // namespace pm
