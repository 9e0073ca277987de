#pragma once

// One HTTP request with a body per call, sent with an easy handle of its own, so any number may run at
// once on different threads; a connection a call leaves open is kept for a later call to the same server.
// Plain functions over C strings (UTF-8, NUL-terminated) and callbacks; the call blocks until the answer is
// in, the transfer failed, or a callback stopped it.

#include <cstddef>
#include <cstdint>

// What http_send_body returns: libcurl's result codes the caller tells apart (any other code is another
// failure, described in the error buffer).
enum http_result {
  HTTP_RESULT_OK = 0,
  HTTP_RESULT_COULD_NOT_START = 2,
  HTTP_RESULT_PARTIAL_ANSWER = 18,  // the connection closed before the whole answer was in
  HTTP_RESULT_ANSWER_REFUSED = 23,  // the answer callback refused more bytes
  HTTP_RESULT_READ_FAILED = 26,     // the body callback failed
  HTTP_RESULT_TIMED_OUT = 28,       // nothing moved for the idle time
  HTTP_RESULT_ABORTED = 42,         // the progress callback asked to stop
  HTTP_RESULT_GOT_NOTHING = 52,     // the connection closed without an answer
  HTTP_RESULT_SEND_FAILED = 55,     // the connection broke while the request went out
  HTTP_RESULT_RECEIVE_FAILED = 56,  // the connection broke while the answer came in
};

// Fills `buffer` with up to `capacity` further bytes of the body; returns how many, 0 at its end, or
// HTTP_READ_FAILURE. It may block until bytes are there.
typedef std::size_t (*http_read_fn)(void* context, char* buffer, std::size_t capacity);
inline constexpr std::size_t HTTP_READ_FAILURE = ~std::size_t(0);

// Moves the body back to `offset` bytes from its start, as a resend needs; 0 when done, non-zero when
// the body cannot go there.
typedef int (*http_seek_fn)(void* context, std::int64_t offset);

// Receives (context, bytes of the body sent so far, body length). Called often while bytes move and at
// least every few milliseconds while none do; a non-zero answer stops the transfer (HTTP_RESULT_ABORTED).
typedef int (*http_progress_fn)(void* context, std::int64_t sent, std::int64_t total);

// Receives one piece of the answer: a header line (with its line end, status lines included) or a run of
// body bytes. A non-zero answer stops the transfer (HTTP_RESULT_ANSWER_REFUSED).
typedef int (*http_answer_fn)(void* context, const char* data, std::size_t length);

struct http_body_request {
  const char* method;                // "PUT", "POST", …
  const char* url;                   // http or https only; the path is sent exactly as given
  const char* const* header_lines;   // "Name: value"; a "Host" line replaces the one libcurl would write
  std::size_t header_count;
  const char* proxy;                 // "http://host:port", "socks5h://…"; null or "" for none
  std::int64_t body_length;          // sent as Content-Length
  http_read_fn read;
  http_seek_fn seek;                 // null when the body cannot go back
  void* body_context;
  http_progress_fn progress;         // may be null
  void* progress_context;
  http_answer_fn on_header;          // may be null
  http_answer_fn on_body;            // may be null: the body is dropped
  void* answer_context;
  long idle_timeout_ms;              // nothing sent or received for this long ends the call; < 1: no limit
  const char* ca_file;               // trusted certificates instead of the system's; null for the system's
};

struct http_outcome {
  long status;              // the final answer's status; 0 without one
  std::int64_t body_sent;   // bytes of the body that went out
};

// Sends `request` and reads the answer. No redirect is followed and no "Expect: 100-continue" is sent.
// `outcome` may be null; `error_buffer` (may be null) receives a text for any failure.
int http_send_body(const http_body_request* request, http_outcome* outcome, char* error_buffer,
                   std::size_t error_capacity);
