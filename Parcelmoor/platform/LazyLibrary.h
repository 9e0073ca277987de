#pragma once

#include <mutex>
#include <string>

namespace pm {

// A shared library opened the first time something of it is needed instead of when the program starts,
// so a program that never needs it never pays for loading it and everything it depends on. Thread-safe:
// the first caller opens it, later ones wait for that and share the outcome.
class LazyLibrary {
 public:
  // `fileName` as the dynamic loader takes it, normally the library's soname ("libcurl.so.4").
  explicit LazyLibrary(std::string fileName);
  ~LazyLibrary();

  LazyLibrary(const LazyLibrary&) = delete;
  LazyLibrary& operator=(const LazyLibrary&) = delete;

  // Opens the library unless done; false when it cannot be opened (error() says why).
  bool load();
  // The address of `name` in the library (opening it first), or null when the library or the name is missing.
  void* symbol(const char* name);
  template <typename Function>
  Function function(const char* name) {
    return reinterpret_cast<Function>(symbol(name));
  }
  // Sets `slot` to the function `name`, for resolving a set of them together: the first name missing is
  // noted in `missing` (left alone while it already names one), so the caller can say what the library lacks.
  template <typename Function>
  void resolve(Function& slot, const char* name, std::string& missing) {
    slot = function<Function>(name);
    if (!slot && missing.empty()) missing = name;
  }
  // What keeps functions resolved with resolve() from use, as a log line says it: "<what> could not be
  // loaded: <why>", "<what> (<file name>) lacks <missing>", or empty when nothing does.
  std::string problem(const std::string& what, const std::string& missing);

  const std::string& fileName() const { return fileName_; }
  // Why the library could not be opened; empty while it is open or not yet tried.
  const std::string& error() const { return error_; }

 private:
  const std::string fileName_;
  std::once_flag opened_;
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace pm
