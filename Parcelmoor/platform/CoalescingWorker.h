#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace pm {

// Runs jobs on a thread of its own, one at a time, in the order they were handed in. A job handed in while
// another runs replaces any job still waiting, so a burst of changes costs at most two runs and the newest
// state is always the last one written. Made for files that are rewritten whole: the caller hands in "write
// this version" and never waits for the disk.
class CoalescingWorker final {
 public:
  CoalescingWorker();
  // Runs the job still waiting, then stops the thread.
  ~CoalescingWorker();
  CoalescingWorker(const CoalescingWorker&) = delete;
  CoalescingWorker& operator=(const CoalescingWorker&) = delete;

  // Hands in a job; it runs on the worker's thread. Any thread may call this.
  void submit(std::function<void()> job);
  // Blocks until every job handed in so far has run (the newest of them, that is).
  void waitUntilIdle();

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::function<void()> waiting_;
  bool running_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace pm
