#include "ConnectionThreads.h"

namespace pm::dev {

ConnectionThreads::~ConnectionThreads() {
  shutdown();
}

void ConnectionThreads::enqueue(std::function<void()> connection) {
  {
    const std::lock_guard lock(mutex_);
    waiting_.push_back(std::move(connection));
    if (waiting_.size() > idle_ && threads_.size() < limit_) threads_.emplace_back([this] { work(); });
  }
  wake_.notify_one();
}

void ConnectionThreads::shutdown() {
  std::vector<std::thread> threads;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    threads.swap(threads_);
  }
  wake_.notify_all();
  for (std::thread& thread : threads) thread.join();
}

void ConnectionThreads::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    --idle_;
    if (waiting_.empty()) return;  // stopping, with nothing left to serve
    std::function<void()> connection = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    connection();
    lock.lock();
  }
}

}  // namespace pm::dev
