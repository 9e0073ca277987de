#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "views/SignInLoadingWindow.h"

namespace pm::settings::test {

// Time that moves only when the test says: scheduled calls run, in the order they fall due, as `advance`
// passes their time.
class ManualSchedule {
 public:
  using Milliseconds = std::chrono::milliseconds;

  SignInLoadingWindow::Schedule schedule() {
    return [this](Milliseconds delay, std::function<void()> call) {
      pending_.push_back({now_ + delay, sequence_++, std::move(call)});
    };
  }

  Milliseconds now() const { return now_; }
  void advance(Milliseconds by) { advanceTo(now_ + by); }
  void advanceTo(Milliseconds target) {
    for (;;) {
      const auto next = std::min_element(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
        return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
      });
      if (next == pending_.end() || next->due > target) break;
      Pending due = std::move(*next);
      pending_.erase(next);
      now_ = due.due;
      due.call();
    }
    now_ = target;
  }

 private:
  struct Pending {
    Milliseconds due;
    int sequence;
    std::function<void()> call;
  };
  Milliseconds now_{0};
  int sequence_ = 0;
  std::vector<Pending> pending_;
};

}  // namespace pm::settings::test
