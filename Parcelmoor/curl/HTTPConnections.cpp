#include "HTTPConnections.h"

#include <mutex>
#include <vector>

namespace pm::curl_http {

namespace {

// As many as uploads run at once: more idle connections would only wait for the server to close them.
constexpr std::size_t kKeptAtMost = 4;

struct IdleHandles {
  std::mutex mutex;
  std::vector<MultiHandle> handles;
};

// Never destroyed: transfers still running while the program ends hand their handles back after static
// destruction has begun. The idle connections close with the process.
IdleHandles& idleHandles() {
  static IdleHandles* const idle = new IdleHandles;
  return *idle;
}

}  // namespace

MultiHandle takeMultiHandle() {
  IdleHandles& idle = idleHandles();
  {
    const std::lock_guard lock(idle.mutex);
    if (!idle.handles.empty()) {
      MultiHandle multi = std::move(idle.handles.back());
      idle.handles.pop_back();
      return multi;
    }
  }
  MultiHandle multi(curl_multi_init());
  // One transfer at a time runs in each handle: one connection kept is the one the next transfer can use.
  if (multi) curl_multi_setopt(multi.get(), CURLMOPT_MAXCONNECTS, 1L);
  return multi;
}

void returnMultiHandle(MultiHandle multi) {
  if (!multi) return;
  IdleHandles& idle = idleHandles();
  const std::lock_guard lock(idle.mutex);
  if (idle.handles.size() < kKeptAtMost) idle.handles.push_back(std::move(multi));
}

}  // namespace pm::curl_http
