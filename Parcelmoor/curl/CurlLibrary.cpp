#include "CurlLibrary.h"

#include <limits.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>

#include <mutex>

// The definitions below stand in for libcurl's own: they must never be visible outside this program, or
// libcurl, once opened, could be bound to them instead of to itself. (The system headers curl.h includes
// come first, above, so that only curl's own declarations are made hidden here.)
#pragma GCC visibility push(hidden)
// The type-checking macros would rename the calls defined here.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#pragma GCC visibility pop

#include "platform/LazyLibrary.h"
#include "platform/Log.h"

namespace pm {

namespace {

// The library's entry points, resolved together: a library that lacks one of them counts as missing.
struct CurlFunctions {
  decltype(&::curl_global_init) global_init = nullptr;
  decltype(&::curl_easy_init) easy_init = nullptr;
  decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&::curl_easy_setopt) easy_setopt = nullptr;
  decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
  decltype(&::curl_easy_perform) easy_perform = nullptr;
  decltype(&::curl_easy_strerror) easy_strerror = nullptr;
  decltype(&::curl_slist_append) slist_append = nullptr;
  decltype(&::curl_slist_free_all) slist_free_all = nullptr;
  decltype(&::curl_multi_init) multi_init = nullptr;
  decltype(&::curl_multi_cleanup) multi_cleanup = nullptr;
  decltype(&::curl_multi_setopt) multi_setopt = nullptr;
  decltype(&::curl_multi_add_handle) multi_add_handle = nullptr;
  decltype(&::curl_multi_remove_handle) multi_remove_handle = nullptr;
  decltype(&::curl_multi_perform) multi_perform = nullptr;
  decltype(&::curl_multi_poll) multi_poll = nullptr;
  decltype(&::curl_multi_info_read) multi_info_read = nullptr;
  decltype(&::curl_multi_strerror) multi_strerror = nullptr;
};

struct CurlState {
  LazyLibrary library{"libcurl.so.4"};
  std::once_flag once;
  CurlFunctions functions;
  bool ready = false;
  std::string problem;
};

CurlState& state() {
  // Never destroyed: a transfer thread may still be inside libcurl while the program ends.
  static CurlState* const instance = new CurlState;
  return *instance;
}

// Leaves libcurl unusable for the life of the program, and says once why.
void giveUp(CurlState& s, std::string problem) {
  s.problem = std::move(problem);
  qCWarning(lcUpload, "%s; FTP connections and file uploads will not work", s.problem.c_str());
}

void open(CurlState& s) {
  CurlFunctions& f = s.functions;
  LazyLibrary& l = s.library;
  std::string missing;
  l.resolve(f.global_init, "curl_global_init", missing);
  l.resolve(f.easy_init, "curl_easy_init", missing);
  l.resolve(f.easy_cleanup, "curl_easy_cleanup", missing);
  l.resolve(f.easy_setopt, "curl_easy_setopt", missing);
  l.resolve(f.easy_getinfo, "curl_easy_getinfo", missing);
  l.resolve(f.easy_perform, "curl_easy_perform", missing);
  l.resolve(f.easy_strerror, "curl_easy_strerror", missing);
  l.resolve(f.slist_append, "curl_slist_append", missing);
  l.resolve(f.slist_free_all, "curl_slist_free_all", missing);
  l.resolve(f.multi_init, "curl_multi_init", missing);
  l.resolve(f.multi_cleanup, "curl_multi_cleanup", missing);
  l.resolve(f.multi_setopt, "curl_multi_setopt", missing);
  l.resolve(f.multi_add_handle, "curl_multi_add_handle", missing);
  l.resolve(f.multi_remove_handle, "curl_multi_remove_handle", missing);
  l.resolve(f.multi_perform, "curl_multi_perform", missing);
  l.resolve(f.multi_poll, "curl_multi_poll", missing);
  l.resolve(f.multi_info_read, "curl_multi_info_read", missing);
  l.resolve(f.multi_strerror, "curl_multi_strerror", missing);
  if (std::string problem = l.problem("libcurl", missing); !problem.empty()) {
    giveUp(s, std::move(problem));
    return;
  }
  // Set up here, once, whichever thread comes first: the others wait in call_once until it is done.
  if (f.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    giveUp(s, "libcurl could not be set up");
    return;
  }
  s.ready = true;
}

// The functions when libcurl is open and set up, else null.
const CurlFunctions* curl() {
  CurlState& s = state();
  std::call_once(s.once, [&s] { open(s); });
  return s.ready ? &s.functions : nullptr;
}

// Passes an option's one argument on to libcurl's own setter (easy or multi) with the type the option's
// number range gives it, as curl.h lays them out.
template <typename Setter, typename Handle, typename Option>
auto forwardOption(Setter set, Handle handle, Option option, va_list arguments) {
  const long number = long(option);
  if (number < CURLOPTTYPE_OBJECTPOINT) return set(handle, option, va_arg(arguments, long));
  if (number < CURLOPTTYPE_FUNCTIONPOINT) return set(handle, option, va_arg(arguments, void*));
  if (number < CURLOPTTYPE_OFF_T) return set(handle, option, va_arg(arguments, void (*)()));
  if (number < CURLOPTTYPE_BLOB) return set(handle, option, va_arg(arguments, curl_off_t));
  return set(handle, option, va_arg(arguments, void*));
}

}  // namespace

bool loadCurlLibrary() { return curl() != nullptr; }

std::string curlLibraryProblem() {
  curl();
  return state().problem;
}

}  // namespace pm

using pm::curl;

extern "C" {

CURLcode curl_global_init(long flags) {
  // Done as the library opens; a later call only reports how that went.
  (void)flags;
  return curl() ? CURLE_OK : CURLE_FAILED_INIT;
}

CURL* curl_easy_init(void) {
  const auto* f = curl();
  return f ? f->easy_init() : nullptr;
}

void curl_easy_cleanup(CURL* handle) {
  // A handle exists only when the library does.
  if (handle) curl()->easy_cleanup(handle);
}

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
  const auto* f = curl();
  if (!f) return CURLE_FAILED_INIT;
  va_list arguments;
  va_start(arguments, option);
  const CURLcode result = pm::forwardOption(f->easy_setopt, handle, option, arguments);
  va_end(arguments);
  return result;
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
  const auto* f = curl();
  if (!f) return CURLE_FAILED_INIT;
  // Every piece of information is written through the one pointer given.
  va_list arguments;
  va_start(arguments, info);
  void* target = va_arg(arguments, void*);
  va_end(arguments);
  return f->easy_getinfo(handle, info, target);
}

CURLcode curl_easy_perform(CURL* handle) {
  const auto* f = curl();
  return f ? f->easy_perform(handle) : CURLE_FAILED_INIT;
}

const char* curl_easy_strerror(CURLcode code) {
  if (const auto* f = curl()) return f->easy_strerror(code);
  // Kept for the life of the program: set once, before any caller could read it.
  return pm::state().problem.c_str();
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  const auto* f = curl();
  return f ? f->slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  if (list) curl()->slist_free_all(list);
}

CURLM* curl_multi_init(void) {
  const auto* f = curl();
  return f ? f->multi_init() : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
  if (!multi) return CURLM_BAD_HANDLE;
  return curl()->multi_cleanup(multi);
}

CURLMcode curl_multi_setopt(CURLM* multi, CURLMoption option, ...) {
  const auto* f = curl();
  if (!f) return CURLM_BAD_HANDLE;
  va_list arguments;
  va_start(arguments, option);
  const CURLMcode result = pm::forwardOption(f->multi_setopt, multi, option, arguments);
  va_end(arguments);
  return result;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* handle) {
  const auto* f = curl();
  return f ? f->multi_add_handle(multi, handle) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* handle) {
  const auto* f = curl();
  return f ? f->multi_remove_handle(multi, handle) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
  const auto* f = curl();
  return f ? f->multi_perform(multi, running) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd* extra, unsigned count, int timeoutMs, int* ready) {
  const auto* f = curl();
  return f ? f->multi_poll(multi, extra, count, timeoutMs, ready) : CURLM_BAD_HANDLE;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
  const auto* f = curl();
  return f ? f->multi_info_read(multi, left) : nullptr;
}

const char* curl_multi_strerror(CURLMcode code) {
  if (const auto* f = curl()) return f->multi_strerror(code);
  return pm::state().problem.c_str();
}

}  // extern "C"
