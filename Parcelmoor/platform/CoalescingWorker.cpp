#include "CoalescingWorker.h"

#include <utility>

namespace pm {

CoalescingWorker::CoalescingWorker() : thread_([this] { run(); }) {}

CoalescingWorker::~CoalescingWorker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void CoalescingWorker::submit(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    waiting_ = std::move(job);
  }
  wake_.notify_one();
}

void CoalescingWorker::waitUntilIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !waiting_ && !running_; });
}

void CoalescingWorker::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return waiting_ || stopping_; });
    if (!waiting_) return;  // stopping, with nothing left to do
    std::function<void()> job = std::exchange(waiting_, nullptr);
    running_ = true;
    lock.unlock();
    job();
    job = nullptr;  // what the job holds goes before the worker says it is idle
    lock.lock();
    running_ = false;
    if (!waiting_) idle_.notify_all();
  }
}

}  // namespace pm
