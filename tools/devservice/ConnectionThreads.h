#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

namespace pm::dev {

// The HTTP server's workers: one thread for each open connection, up to `limit`, so a connection that
// sends nothing (a browser's spare socket, a probe) holds only its own thread until the server's time-out
// drops it, never the agent's next request. Threads are made as connections outnumber the idle ones and
// kept for the next; past the limit, connections wait their turn.
class ConnectionThreads final : public httplib::TaskQueue {
 public:
  explicit ConnectionThreads(std::size_t limit) : limit_(limit) {}
  ~ConnectionThreads() override;

  void enqueue(std::function<void()> connection) override;
  // Lets every waiting connection run, then ends and joins all threads.
  void shutdown() override;

 private:
  void work();

  const std::size_t limit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> waiting_;
  std::vector<std::thread> threads_;
  std::size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace pm::dev
