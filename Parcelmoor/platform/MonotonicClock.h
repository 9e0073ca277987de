#pragma once

#include <chrono>

namespace pm {

// Time for what runs a while on screen (a glide, a fade): it only moves forward, whatever the wall clock
// does. A wall clock set back during an animation would otherwise hold it where it was until the wall
// clock caught up again.
class MonotonicClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~MonotonicClock() = default;
  virtual TimePoint steadyNow() const = 0;
};

class SteadyClock final : public MonotonicClock {
 public:
  TimePoint steadyNow() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace pm
