#include "HTTPCalls.h"

#include <curl/curl.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "curl/HTTPConnections.h"

static_assert(int(HTTP_RESULT_OK) == int(CURLE_OK));
static_assert(int(HTTP_RESULT_COULD_NOT_START) == int(CURLE_FAILED_INIT));
static_assert(int(HTTP_RESULT_PARTIAL_ANSWER) == int(CURLE_PARTIAL_FILE));
static_assert(int(HTTP_RESULT_ANSWER_REFUSED) == int(CURLE_WRITE_ERROR));
static_assert(int(HTTP_RESULT_READ_FAILED) == int(CURLE_READ_ERROR));
static_assert(int(HTTP_RESULT_TIMED_OUT) == int(CURLE_OPERATION_TIMEDOUT));
static_assert(int(HTTP_RESULT_ABORTED) == int(CURLE_ABORTED_BY_CALLBACK));
static_assert(int(HTTP_RESULT_GOT_NOTHING) == int(CURLE_GOT_NOTHING));
static_assert(int(HTTP_RESULT_SEND_FAILED) == int(CURLE_SEND_ERROR));
static_assert(int(HTTP_RESULT_RECEIVE_FAILED) == int(CURLE_RECV_ERROR));

namespace {

using Clock = std::chrono::steady_clock;

// Larger reads and sends than the 64 KiB default: fewer system calls per byte on fast links.
constexpr long kUploadBufferSize = 512 * 1024;
// How long the loop sleeps at most while nothing happens: the latency of a cancellation and the
// granularity of the idle time-out.
constexpr int kPollMilliseconds = 20;

struct HandleCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void writeError(char* buffer, std::size_t capacity, const char* text) {
  if (!buffer || capacity == 0) return;
  std::strncpy(buffer, text, capacity - 1);
  buffer[capacity - 1] = '\0';
}

extern "C" std::size_t readTrampoline(char* buffer, std::size_t size, std::size_t count, void* context) {
  const auto* request = static_cast<const http_body_request*>(context);
  const std::size_t read = request->read(request->body_context, buffer, size * count);
  return read == HTTP_READ_FAILURE ? CURL_READFUNC_ABORT : read;
}

extern "C" int seekTrampoline(void* context, curl_off_t offset, int origin) {
  const auto* request = static_cast<const http_body_request*>(context);
  if (origin != SEEK_SET || !request->seek) return CURL_SEEKFUNC_CANTSEEK;
  return request->seek(request->body_context, offset) == 0 ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_CANTSEEK;
}

extern "C" std::size_t headerTrampoline(char* data, std::size_t size, std::size_t count, void* context) {
  const auto* request = static_cast<const http_body_request*>(context);
  const std::size_t length = size * count;
  if (request->on_header && request->on_header(request->answer_context, data, length) != 0) return 0;
  return length;
}

extern "C" std::size_t bodyTrampoline(char* data, std::size_t size, std::size_t count, void* context) {
  const auto* request = static_cast<const http_body_request*>(context);
  const std::size_t length = size * count;
  if (request->on_body && request->on_body(request->answer_context, data, length) != 0) return 0;
  return length;
}

extern "C" int progressTrampoline(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  const auto* request = static_cast<const http_body_request*>(context);
  if (!request->progress) return 0;
  return request->progress(request->progress_context, uploaded, request->body_length);
}

// Bytes that moved either way so far; a change means the transfer is not idle.
curl_off_t bytesMoved(CURL* handle) {
  curl_off_t sent = 0;
  curl_off_t received = 0;
  long headerBytes = 0;
  curl_easy_getinfo(handle, CURLINFO_SIZE_UPLOAD_T, &sent);
  curl_easy_getinfo(handle, CURLINFO_SIZE_DOWNLOAD_T, &received);
  curl_easy_getinfo(handle, CURLINFO_HEADER_SIZE, &headerBytes);
  return sent + received + headerBytes;
}

void configure(CURL* handle, const http_body_request& request, curl_slist* headers, char* error_buffer,
               std::size_t error_capacity) {
  curl_easy_setopt(handle, CURLOPT_URL, request.url);
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  // The URL is signed as given (S3); dot segments are not the transfer's to resolve.
  curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  // An empty proxy also keeps the environment's proxy variables out, as the rest of the program does.
  curl_easy_setopt(handle, CURLOPT_PROXY, request.proxy ? request.proxy : "");
  curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method);
  curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(request.body_length));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, &readTrampoline);
  curl_easy_setopt(handle, CURLOPT_READDATA, &request);
  curl_easy_setopt(handle, CURLOPT_SEEKFUNCTION, &seekTrampoline);
  curl_easy_setopt(handle, CURLOPT_SEEKDATA, &request);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &headerTrampoline);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &request);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &bodyTrampoline);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &request);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &progressTrampoline);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &request);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);
  curl_easy_setopt(handle, CURLOPT_TCP_NODELAY, 1L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  if (request.ca_file) curl_easy_setopt(handle, CURLOPT_CAINFO, request.ca_file);
  // libcurl writes up to CURL_ERROR_SIZE bytes; a smaller buffer would be overrun.
  if (error_buffer && error_capacity >= CURL_ERROR_SIZE) curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error_buffer);
}

// Runs the transfer to its end. The multi interface's loop is the one curl_easy_perform runs inside;
// owning it lets a cancellation and the idle time-out act within one short poll, also while nothing moves.
CURLcode perform(CURL* handle, const http_body_request& request, char* error_buffer, std::size_t error_capacity) {
  pm::curl_http::MultiHandle multi = pm::curl_http::takeMultiHandle();
  if (!multi || curl_multi_add_handle(multi.get(), handle) != CURLM_OK) {
    writeError(error_buffer, error_capacity, "The transfer could not be set up.");
    return CURLE_FAILED_INIT;
  }
  CURLcode result = CURLE_OK;
  curl_off_t moved = -1;
  Clock::time_point lastMoved = Clock::now();
  for (;;) {
    int running = 0;
    const CURLMcode step = curl_multi_perform(multi.get(), &running);
    if (step != CURLM_OK) {
      writeError(error_buffer, error_capacity, curl_multi_strerror(step));
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int left = 0;
      const CURLMsg* message = curl_multi_info_read(multi.get(), &left);
      result = message && message->msg == CURLMSG_DONE ? message->data.result : CURLE_FAILED_INIT;
      break;
    }
    curl_off_t sent = 0;
    curl_easy_getinfo(handle, CURLINFO_SIZE_UPLOAD_T, &sent);
    if (request.progress && request.progress(request.progress_context, sent, request.body_length) != 0) {
      writeError(error_buffer, error_capacity, "The transfer was stopped.");
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    const curl_off_t nowMoved = bytesMoved(handle);
    const Clock::time_point now = Clock::now();
    if (nowMoved != moved) {
      moved = nowMoved;
      lastMoved = now;
    } else if (request.idle_timeout_ms > 0 && now - lastMoved >= std::chrono::milliseconds(request.idle_timeout_ms)) {
      writeError(error_buffer, error_capacity, "Nothing was sent or received for too long.");
      result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
  }
  curl_multi_remove_handle(multi.get(), handle);
  // libcurl closes a connection a transfer left unusable; a handle that failed itself is not kept.
  if (result != CURLE_FAILED_INIT) pm::curl_http::returnMultiHandle(std::move(multi));
  return result;
}

}  // namespace

int http_send_body(const http_body_request* request, http_outcome* outcome, char* error_buffer,
                   std::size_t error_capacity) {
  if (outcome) *outcome = http_outcome{0, 0};
  if (error_buffer && error_capacity > 0) error_buffer[0] = '\0';
  if (!request || !request->read) {
    writeError(error_buffer, error_capacity, "The request has no body to send.");
    return CURLE_FAILED_INIT;
  }
  const std::unique_ptr<CURL, HandleCleanup> handle(curl_easy_init());
  if (!handle) {
    writeError(error_buffer, error_capacity, "The transfer could not be set up.");
    return CURLE_FAILED_INIT;
  }
  // An empty "Expect:" keeps libcurl from waiting for a 100 Continue before the body.
  std::unique_ptr<curl_slist, ListCleanup> headers(curl_slist_append(nullptr, "Expect:"));
  for (std::size_t i = 0; headers && i < request->header_count; ++i) {
    curl_slist* longer = curl_slist_append(headers.get(), request->header_lines[i]);
    if (!longer) headers.reset();
  }
  if (!headers) {
    writeError(error_buffer, error_capacity, "Out of memory.");
    return CURLE_OUT_OF_MEMORY;
  }
  configure(handle.get(), *request, headers.get(), error_buffer, error_capacity);

  const CURLcode result = perform(handle.get(), *request, error_buffer, error_capacity);
  if (outcome) {
    curl_off_t sent = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &outcome->status);
    curl_easy_getinfo(handle.get(), CURLINFO_SIZE_UPLOAD_T, &sent);
    outcome->body_sent = sent;
  }
  if (result != CURLE_OK && error_buffer && error_capacity > 0 && error_buffer[0] == '\0')
    writeError(error_buffer, error_capacity, curl_easy_strerror(result));
  return result;
}
