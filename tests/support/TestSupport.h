#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include <QCoroTask>

#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>

#include "platform/Clock.h"
#include "platform/Crypto.h"
#include "platform/MonotonicClock.h"
#include "platform/Paths.h"

namespace pm::test {

// How long a test waits for what it expects before calling it a hang. Only a hang should ever reach it:
// a loaded two-core machine takes seconds for what an idle one does at once.
inline constexpr std::chrono::milliseconds kHangBound = std::chrono::seconds(30);

// Runs the event loop until `done` holds or `timeout` passes; returns whether it held.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kHangBound);
// Runs the event loop for `duration`.
void spin(std::chrono::milliseconds duration);

// Runs `task` to its end on the event loop and returns its value or rethrows its exception. (QCoro's
// waitFor never returns when the task throws.) Throws std::runtime_error when `timeout` passes first.
template <typename T>
T wait(QCoro::Task<T> task, std::chrono::milliseconds timeout = kHangBound) {
  struct Outcome {
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    std::exception_ptr error;
    bool done = false;
  };
  auto outcome = std::make_shared<Outcome>();
  auto run = [](QCoro::Task<T> running, std::shared_ptr<Outcome> out) -> QCoro::Task<> {
    try {
      if constexpr (std::is_void_v<T>) {
        co_await running;
      } else {
        out->value.emplace(co_await running);
      }
    } catch (...) {
      out->error = std::current_exception();
    }
    out->done = true;
  };
  run(std::move(task), outcome);
  if (!runUntil([&] { return outcome->done; }, timeout)) throw std::runtime_error("the task did not finish in time");
  if (outcome->error) std::rethrow_exception(outcome->error);
  if constexpr (!std::is_void_v<T>) return std::move(*outcome->value);
}

// A private folder for one test, removed afterwards, with the system's paths laid out under it.
class TempRoot {
 public:
  TempRoot();
  const QString& path() const { return path_; }
  const Paths& paths() const { return paths_; }
  QString file(const QString& relative) const;
  // Writes `bytes` to `relative` (creating folders) and returns the absolute path.
  QString write(const QString& relative, const QByteArray& bytes) const;

 private:
  QTemporaryDir dir_;
  QString path_;
  Paths paths_;
};

// The wall clock and the monotonic one, moved by the test: both go forward together, while `set` steps
// the wall clock alone, as a correction of the system's time does.
class ManualClock final : public Clock, public MonotonicClock {
 public:
  explicit ManualClock(QDateTime start = QDateTime(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc()))
      : now_(std::move(start)) {}
  QDateTime now() const override { return now_; }
  TimePoint steadyNow() const override { return steady_; }
  void set(QDateTime time) { now_ = std::move(time); }
  void advance(std::chrono::milliseconds by) {
    now_ = now_.addMSecs(by.count());
    steady_ += by;
  }

 private:
  QDateTime now_;
  TimePoint steady_;
};

// While alive, the process's secure random source fails, as a broken one would.
class RandomSourceFailing {
 public:
  RandomSourceFailing() { crypto::setRandomSourceFailingForTesting(true); }
  ~RandomSourceFailing() { crypto::setRandomSourceFailingForTesting(false); }
  RandomSourceFailing(const RandomSourceFailing&) = delete;
  RandomSourceFailing& operator=(const RandomSourceFailing&) = delete;
};

// Where widget tests leave their screenshots (build/test-artifacts).
QString artifactsDirectory();

}  // namespace pm::test
