#include "LazyLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace pm {

LazyLibrary::LazyLibrary(std::string fileName) : fileName_(std::move(fileName)) {}

// The library stays open: what it set up (threads, global state, atexit handlers) may outlive this object.
LazyLibrary::~LazyLibrary() = default;

bool LazyLibrary::load() {
  std::call_once(opened_, [this] {
    // Local: its symbols must not take the place of anything the program or another library defines.
    handle_ = dlopen(fileName_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      const char* reason = dlerror();
      error_ = reason ? reason : fileName_ + ": cannot be opened";
    }
  });
  return handle_ != nullptr;
}

void* LazyLibrary::symbol(const char* name) {
  if (!load()) return nullptr;
  return dlsym(handle_, name);
}

std::string LazyLibrary::problem(const std::string& what, const std::string& missing) {
  if (!load()) return what + " could not be loaded: " + error_;
  if (!missing.empty()) return what + " (" + fileName_ + ") lacks " + missing;
  return {};
}

}  // namespace pm
